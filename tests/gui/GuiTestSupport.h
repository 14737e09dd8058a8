#pragma once

// Helpers for the GUI tests: a whole program (document, frame, view) on a
// private data folder with scripted prompts, and small helpers on its lists.

#include "app/CommandIds.h"
#include "app/DravelinApp.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"
#include "model/ArticleList.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace guitest
{

class CTestProgram
{
public:
    // A settings file whose version keys pass the check (no message at start).
    // strWindow: more keys of section "Dravelin" (the placement);
    // strPreferences: the keys of section "Preferences" (no queue file).
    static std::string CompatibleIni(const std::string& strMore = std::string(),
                                     const std::string& strWindow = std::string(),
                                     const std::string& strPreferences = "LoadQueue=0\nSaveQueue=0\n");
    // Accounts of NewsGuy, NewsGuy Extra and EasyNews on strHost, nActive chosen.
    static std::string AccountIni(const std::string& strHost, int nActive);

    ~CTestProgram() { Stop(); }

    // Writes strIni as the settings file (before Start).
    void WriteIni(const std::string& strIni) { testsupport::WriteFile(IniPath(), strIni); }
    // Builds the program as the real start-up does, on its folder; args: more
    // of the command line (switches, files from outside).
    void Start(const std::vector<std::string>& args = {});
    // WriteIni(CompatibleIni(strMore, "", strPreferences)), then Start.
    void StartWith(const std::string& strMore = std::string(),
                   const std::string& strPreferences = "LoadQueue=0\nSaveQueue=0\n")
    {
        WriteIni(CompatibleIni(strMore, std::string(), strPreferences));
        Start();
    }
    // Closes it as the user would (the quit question), then destroys it.
    // False when the close was refused.
    bool Close();
    // Destroys without asking (the state is saved).
    void Stop();

    std::string IniPath() const { return m_dir.File("Dravelin.ini"); }
    std::string Folder() const { return m_dir.Path().string(); }
    // The sheet's dialog controller runs its dialogs through fnRun (true: OK).
    void RunDialogs(std::function<bool(QDialog&)> fnRun) const;
    int GetInt(const std::string& strSection, const std::string& strKey, int nDefault = -999) const;
    std::string GetString(const std::string& strSection, const std::string& strKey) const;
    // "key=value" of each key of the section, joined by "|".
    QString Keys(const std::string& strSection, const std::vector<std::string>& keys) const;

    CDravelinApp& App() { return *m_pApp; }
    CMainFrame& Frame() const { return *m_pApp->Frame(); }
    CDravelinView& View() const { return *m_pApp->View(); }
    CQueueDocument& Doc() const { return m_pApp->Doc()->Document(); }
    // The command's state after an update pass, and the command itself.
    bool Enabled(int nId) const { return EnabledOf({nId}) == "1"; }
    bool Checked(int nId) const { return CheckedOf({nId}) == "1"; }
    void Trigger(int nId) const { Frame().FindAction(nId)->trigger(); }
    // '1' or '0' per command, after one update pass.
    QString EnabledOf(const std::vector<int>& ids) const { return States(ids, &QAction::isEnabled); }
    QString CheckedOf(const std::vector<int>& ids) const { return States(ids, &QAction::isChecked); }
    testsupport::FakePrompts m_prompts;
    // The in-process Usenet gateway the program restarts (before Start).
    CUsenetGateway* m_pUsenet = nullptr;

private:
    QString States(const std::vector<int>& ids, bool (QAction::*pfnState)() const) const;

    testsupport::TempDir m_dir;
    std::unique_ptr<CDravelinApp> m_pApp;
};

// An article with the listed fields set.
std::shared_ptr<CArticle> MakeArticle(const std::string& strSubject, const std::string& strAuthor = "author",
                                      const std::string& strDate = "01/01", int nSize = 1000,
                                      int nState = -1);
// Adds the article to the view's article list (or its progress list).
void AddListed(CDravelinView& view, std::shared_ptr<CArticle> pArticle, bool bProgress = false);
// The texts of one column of the widget, top to bottom.
QStringList Column(const CArticleListCtrl& list, int nColumn);
std::vector<std::string> Subjects(CArticleList& list);
void SelectOnly(CArticleList& list, const std::vector<int>& rows);
// '1' or '0' per widget: enabled.
QString EnabledOf(std::initializer_list<const QWidget*> widgets);
// The article's state, read under its lock.
int StateOf(const ArticlePtr& pArticle);
// Drags the local file onto the widget and drops it there; false when the
// drag is refused.
bool DropFile(QWidget* pTarget, const std::string& strFile);
// Starts the program file in a child process on the offscreen platform.
QProcess* StartChild(QObject* pParent, const char* pszProgram, const QStringList& args,
                     const QString& strWorkingFolder = {});
// Processes events until done() holds; false after nTimeoutMs.
bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 30000);

// Qt Test data from a table of structs: one row per entry, named by its
// member pszName; the test function takes its entry with Row(table).
template <class T, size_t N> void AddRows(const T (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].pszName) << int(i);
}

template <class T, size_t N> const T& Row(const T (&rows)[N])
{
    QFETCH(int, row);
    return rows[row];
}

} // namespace guitest
