// The dialogs behind the article commands (find, filter, kill filter, kill
// entries) and the preferences sheet, driven as a user would fill them in.

#include "GuiTestSupport.h"

#include "app/CommandIds.h"
#include "app/DialogController.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "dialogs/FilterDlg.h"
#include "dialogs/FindDlg.h"
#include "dialogs/KillEntryDlg.h"
#include "dialogs/KillFilterDlg.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <fstream>
#include <sstream>

using guitest::CTestProgram;
using guitest::MakeArticle;

namespace
{
std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

QStringList BoxTexts(const QListWidget* pBox)
{
    QStringList texts;
    for (int i = 0; i < pBox->count(); ++i)
        texts << pBox->item(i)->text();
    return texts;
}

// A scripted user: each dialog the controller runs goes through the next
// step, which fills it in; true presses OK (the dialog may still refuse to
// close, as the preferences sheet does on a bad value), false presses Cancel.
struct CScript
{
    std::vector<std::function<bool(QDialog&)>> steps;
    size_t nNext = 0;
    bool operator()(QDialog& dlg)
    {
        if (nNext >= steps.size())
        {
            QTest::qFail("a dialog more than expected", __FILE__, __LINE__);
            return false;
        }
        if (!steps[nNext++](dlg))
        {
            dlg.reject();
            return false;
        }
        dlg.accept();
        return dlg.result() == QDialog::Accepted;
    }
};
} // namespace

class DialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void findPrefilledAndWraps();
    void findCancelChangesNothing();
    void filterDefaultsAndFocus();
    void filterInvertedSelectOnly();
    void findFilterEnabling();
    void hideIncompleteToggle();
    void killFilterDialogDeleteAndSort();
    void killFilterDialogCancelKeeps();
    void addAuthorPerSelectedRow();
    void addSubjectWithoutSelection();

private:
    void AddListed(const std::string& strSubject, const std::string& strAuthor = "author", int nState = -1);
    void Script(std::vector<std::function<bool(QDialog&)>> steps);
    CDialogController& Controller() const;
    CArticleList& Articles() const { return m_pProgram->View().Articles(); }

    std::unique_ptr<CTestProgram> m_pProgram;
    std::shared_ptr<CScript> m_pScript;
};

void DialogTest::init()
{
    m_pProgram = std::make_unique<CTestProgram>();
    m_pProgram->WriteIni(CTestProgram::CompatibleIni());
    m_pProgram->Start();
}

void DialogTest::cleanup()
{
    if (m_pScript)
        QCOMPARE(m_pScript->nNext, m_pScript->steps.size());
    m_pScript.reset();
    m_pProgram->Stop();
    m_pProgram.reset();
}

CDialogController& DialogTest::Controller() const
{
    auto* pController = m_pProgram->View().findChild<CDialogController*>();
    if (!pController)
        qFatal("no dialog controller");
    return *pController;
}

void DialogTest::Script(std::vector<std::function<bool(QDialog&)>> steps)
{
    m_pScript = std::make_shared<CScript>();
    m_pScript->steps = std::move(steps);
    auto pScript = m_pScript;
    Controller().m_fnRunDialog = [pScript](QDialog& dlg) { return (*pScript)(dlg); };
}

void DialogTest::AddListed(const std::string& strSubject, const std::string& strAuthor, int nState)
{
    auto pArticle = MakeArticle(strSubject, strAuthor, "01/01", 1000, nState);
    pArticle->m_nLists |= ListArticles;
    m_pProgram->View().ArticleListCtrl().AddArticleRow(std::move(pArticle));
}

void DialogTest::findPrefilledAndWraps()
{
    AddListed("Alpha part one");
    AddListed("beta");
    AddListed("ALPHA part two");
    CMainFrame& frame = m_pProgram->Frame();
    frame.UpdateCommandUI();
    QVERIFY(!frame.FindAction(ID_ARTICLE_FINDNEXT)->isEnabled());

    Script({[](QDialog& dlg)
            {
                auto& find = dynamic_cast<CFindDlg&>(dlg);
                if (find.windowTitle() != "Find" || !find.TextEdit()->text().isEmpty() ||
                    find.MatchCaseCheck()->isChecked())
                    return false;
                find.TextEdit()->setText("  alpha ");
                return true;
            },
            [](QDialog& dlg)
            {
                // The text of the last find comes back, match case unchecked.
                auto& find = dynamic_cast<CFindDlg&>(dlg);
                if (find.TextEdit()->text() != "alpha" || find.MatchCaseCheck()->isChecked())
                    return false;
                find.MatchCaseCheck()->setChecked(true);
                find.TextEdit()->setText("ALPHA");
                return true;
            }});
    frame.OnCommand(ID_ARTICLE_FIND);
    QVERIFY(Articles().IsSelected(0));
    QCOMPARE(Articles().GetSelectedCount(), 1);
    QVERIFY(frame.FindAction(ID_ARTICLE_FINDNEXT)->isEnabled());

    // F3 walks down, then reports the miss, then starts at the top again.
    frame.OnCommand(ID_ARTICLE_FINDNEXT);
    QVERIFY(Articles().IsSelected(2));
    QCOMPARE(Articles().GetSelectedCount(), 1);
    frame.OnCommand(ID_ARTICLE_FINDNEXT);
    QCOMPARE(Articles().GetSelectedCount(), 0);
    QCOMPARE(m_pProgram->m_prompts.m_messages.back(), std::string("Not found: alpha"));
    QVERIFY(frame.FindAction(ID_ARTICLE_FINDNEXT)->isEnabled());
    frame.OnCommand(ID_ARTICLE_FINDNEXT);
    QVERIFY(Articles().IsSelected(0));

    // Match case on: only the row in capitals.
    frame.OnCommand(ID_ARTICLE_FIND);
    QCOMPARE(Articles().GetSelectedCount(), 1);
    QVERIFY(Articles().IsSelected(2));
    QCOMPARE(m_pProgram->m_prompts.m_messages.size(), size_t(1));
}

void DialogTest::findCancelChangesNothing()
{
    AddListed("one");
    Articles().m_strFind = "previous";
    Script({[](QDialog& dlg)
            {
                dynamic_cast<CFindDlg&>(dlg).TextEdit()->setText("one");
                return false;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_FIND);
    QCOMPARE(Articles().m_strFind, std::string("previous"));
    QCOMPARE(Articles().GetSelectedCount(), 0);
    QVERIFY(m_pProgram->m_prompts.m_messages.empty());
}

void DialogTest::filterDefaultsAndFocus()
{
    AddListed("keep this");
    AddListed("to DROP this");
    AddListed("Drop that");
    Articles().m_strFilter = "old text";
    m_pProgram->Frame().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_pProgram->Frame()));
    Script({[](QDialog& dlg)
            {
                auto& filter = dynamic_cast<CFilterDlg&>(dlg);
                if (filter.windowTitle() != "Filter" || filter.TextEdit()->text() != "old text" ||
                    !filter.RemoveCheck()->isChecked() || filter.InvertedCheck()->isChecked() ||
                    filter.MatchCaseCheck()->isChecked())
                    return false;
                filter.TextEdit()->setText(" drop");
                return true;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_FILTER);
    // A leading blank stays part of the filter text, so "Drop that" (no blank
    // before it) survives as well.
    QCOMPARE(Articles().GetItemCount(), 2);
    QCOMPARE(Articles().GetArticle(0)->m_strSubject, std::string("keep this"));
    QCOMPARE(Articles().GetArticle(1)->m_strSubject, std::string("Drop that"));
    QCOMPARE(Articles().m_strFilter, std::string(" drop"));
    QTRY_VERIFY(m_pProgram->View().ArticleListCtrl().hasFocus());
}

void DialogTest::filterInvertedSelectOnly()
{
    AddListed("match a");
    AddListed("other");
    AddListed("match b");
    Script({[](QDialog& dlg)
            {
                auto& filter = dynamic_cast<CFilterDlg&>(dlg);
                filter.TextEdit()->setText("match");
                filter.RemoveCheck()->setChecked(false);
                filter.InvertedCheck()->setChecked(true);
                return true;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_FILTER);
    QCOMPARE(Articles().GetItemCount(), 3);
    QVERIFY(!Articles().IsSelected(0));
    QVERIFY(Articles().IsSelected(1));
    QVERIFY(!Articles().IsSelected(2));
}

void DialogTest::findFilterEnabling()
{
    CMainFrame& frame = m_pProgram->Frame();
    frame.UpdateCommandUI();
    for (int nId : {ID_ARTICLE_FIND, ID_ARTICLE_FILTER, ID_ARTICLE_APPLYKILLFILTER})
        QVERIFY2(!frame.FindAction(nId)->isEnabled(), qPrintable(QString::number(nId)));
    for (int nId : {ID_ARTICLE_HIDEINCOMPLETE, ID_ARTICLE_KILLFILTER, ID_ARTICLE_ADDAUTHORTOKILL,
                    ID_ARTICLE_ADDSUBJECTTOKILL})
        QVERIFY2(frame.FindAction(nId)->isEnabled(), qPrintable(QString::number(nId)));
    AddListed("row");
    frame.UpdateCommandUI();
    for (int nId : {ID_ARTICLE_FIND, ID_ARTICLE_FILTER, ID_ARTICLE_APPLYKILLFILTER})
        QVERIFY2(frame.FindAction(nId)->isEnabled(), qPrintable(QString::number(nId)));
}

void DialogTest::hideIncompleteToggle()
{
    AddListed("complete", "a", StateListed);
    AddListed("incomplete", "a", StateIncomplete);
    CMainFrame& frame = m_pProgram->Frame();
    frame.OnCommand(ID_ARTICLE_HIDEINCOMPLETE);
    QVERIFY(frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
    QCOMPARE(Articles().GetItemCount(), 1);
    QVERIFY(m_pProgram->View().Retrieval().m_bHideIncomplete != 0);
    frame.OnCommand(ID_ARTICLE_HIDEINCOMPLETE);
    QVERIFY(!frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
    QVERIFY(m_pProgram->View().Retrieval().m_bHideIncomplete == 0);
    QCOMPARE(Articles().GetItemCount(), 1);
}

void DialogTest::killFilterDialogDeleteAndSort()
{
    CKillFilter& filter = m_pProgram->View().Retrieval().m_killFilter;
    filter.m_lstKillAuthors = {"zed", "Bob", "alice"};
    filter.m_lstKillSubjects = {"spam", "Ads", "junk"};
    Script({[](QDialog& dlg)
            {
                auto& kill = dynamic_cast<CKillFilterDlg&>(dlg);
                if (kill.windowTitle() != "Kill Filter" ||
                    BoxTexts(kill.AuthorBox()) != QStringList({"alice", "Bob", "zed"}) ||
                    BoxTexts(kill.SubjectBox()) != QStringList({"Ads", "junk", "spam"}))
                    return false;
                // A double-click on "Bob" deletes it.
                QListWidget* pBox = kill.AuthorBox();
                pBox->setCurrentRow(1);
                emit pBox->itemDoubleClicked(pBox->item(1));
                return true;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_KILLFILTER);
    QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"alice", "zed"}));
    QCOMPARE(filter.m_lstKillSubjects, std::vector<std::string>({"Ads", "junk", "spam"}));
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Author.kill"), std::string("alice\nzed\n"));
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Subject.kill"), std::string("Ads\njunk\nspam\n"));
    // The arrival test uses the new lists at once.
    QVERIFY(!filter.IsKilled(*MakeArticle("x", "Bob")));
    QVERIFY(filter.IsKilled(*MakeArticle("x", "ZEDD")));
}

void DialogTest::killFilterDialogCancelKeeps()
{
    WriteFile(m_pProgram->Folder() + "/Author.kill", "zed\nalice\n");
    CKillFilter& filter = m_pProgram->View().Retrieval().m_killFilter;
    filter.m_lstKillAuthors = {"zed", "alice"};
    QStringList left;
    Script({[&left](QDialog& dlg)
            {
                auto& kill = dynamic_cast<CKillFilterDlg&>(dlg);
                kill.AuthorBox()->setCurrentRow(0);
                emit kill.AuthorBox()->itemDoubleClicked(kill.AuthorBox()->item(0));
                left = BoxTexts(kill.AuthorBox());
                return false;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_KILLFILTER);
    QCOMPARE(left, QStringList({"zed"}));
    QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"zed", "alice"}));
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Author.kill"), std::string("zed\nalice\n"));
}

void DialogTest::addAuthorPerSelectedRow()
{
    AddListed("s1", "first@x");
    AddListed("s2", "not selected");
    AddListed("s3", "third@x");
    Articles().SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
    Articles().SetItemState(2, CArticleList::RowSelected, CArticleList::RowSelected);
    CKillFilter& filter = m_pProgram->View().Retrieval().m_killFilter;
    QStringList seen;
    auto record = [&seen](QDialog& dlg) -> CKillEntryDlg&
    {
        auto& entry = dynamic_cast<CKillEntryDlg&>(dlg);
        seen << entry.windowTitle() + "|" + entry.Label()->text() + "|" + entry.EntryEdit()->text();
        return entry;
    };
    Script({[&](QDialog& dlg)
            {
                record(dlg);
                return false; // cancel skips only this row
            },
            [&](QDialog& dlg)
            {
                record(dlg).EntryEdit()->setText("third");
                return true;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDAUTHORTOKILL);
    QCOMPARE(seen, QStringList({"Add author to kill filter|&Author:|first@x",
                                "Add author to kill filter|&Author:|third@x"}));
    QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"third"}));
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Author.kill"), std::string("third\n"));
    // Adding removes no row; the new entry kills on arrival.
    QCOMPARE(Articles().GetItemCount(), 3);
    QVERIFY(filter.IsKilled(*MakeArticle("s", "THIRD@x")));
}

void DialogTest::addSubjectWithoutSelection()
{
    AddListed("s1", "a");
    CKillFilter& filter = m_pProgram->View().Retrieval().m_killFilter;
    filter.m_lstKillSubjects = {"old"};
    QString strSeen;
    Script({[&](QDialog& dlg)
            {
                auto& entry = dynamic_cast<CKillEntryDlg&>(dlg);
                strSeen = entry.windowTitle() + "|" + entry.Label()->text() + "|" + entry.EntryEdit()->text();
                entry.EntryEdit()->setText("new");
                return true;
            }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDSUBJECTTOKILL);
    QCOMPARE(strSeen, QString("Add subject to kill filter|&Subject|"));
    QCOMPARE(filter.m_lstKillSubjects, std::vector<std::string>({"old", "new"}));
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Subject.kill"), std::string("old\nnew\n"));

    // Cancel still writes the list's file.
    std::remove((m_pProgram->Folder() + "/Subject.kill").c_str());
    Script({[](QDialog&) { return false; }});
    m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDSUBJECTTOKILL);
    QCOMPARE(ReadFile(m_pProgram->Folder() + "/Subject.kill"), std::string("old\nnew\n"));
}

QTEST_MAIN(DialogTest)
#include "DialogTest.moc"
