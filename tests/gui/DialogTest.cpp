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
#include "dialogs/PageAccount.h"
#include "dialogs/PageDownload.h"
#include "dialogs/PageProxy.h"
#include "dialogs/PageQueue.h"
#include "dialogs/PreferencesDlg.h"
#include "dialogs/UpDownEdit.h"
#include "app/DravelinDoc.h"
#include "net/GatewayHosts.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
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
    void accountMessages_data();
    void accountMessages();
    void accountUpdateKeepsService();
    void sheetRanges_data();
    void sheetRanges();
    void proxyEnabling();
    void preferencesRoundTrip();
    void preferencesCancelAfterAdd();

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

namespace
{
void FillAccount(CPageAccount& page, const QString& strService, const QString& strUser, const QString& strPassword,
                 const QString& strDownloads)
{
    page.ServiceBox()->setEditText(strService);
    page.UsernameEdit()->setText(strUser);
    page.PasswordEdit()->setText(strPassword);
    page.DownloadsEdit()->setText(strDownloads);
}

QStringList RowTexts(const QTreeWidget* pList, int nRow)
{
    QStringList texts;
    for (int i = 0; i < pList->columnCount(); ++i)
        texts << pList->topLevelItem(nRow)->text(i);
    return texts;
}
} // namespace

void DialogTest::accountMessages_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("downloads");
    QTest::addColumn<QString>("message"); // empty: the account is added

    QTest::newRow("no service") << "" << "u" << "p" << "2" << CPageAccount::kNoService;
    QTest::newRow("unknown service") << "Giganews" << "u" << "p" << "2"
                                     << "Unknown News Service Provider: Giganews\nChoose NewsGuy, NewsGuy Extra, "
                                        "WebUseNet, WebUseNet Members or EasyNews.";
    QTest::newRow("blank user") << "NewsGuy" << "   " << "p" << "2" << CPageAccount::kNoUsername;
    QTest::newRow("blank password") << "NewsGuy" << "u" << "  " << "2" << CPageAccount::kNoPassword;
    QTest::newRow("101 downloads") << "NewsGuy" << "u" << "p" << "101" << CPageAccount::kTooManyDownloads;
    QTest::newRow("100 downloads") << "NewsGuy" << "u" << "p" << "100" << "";
    QTest::newRow("negative passes") << "EasyNews" << "u" << "p" << "-3" << "";
    QTest::newRow("typed WebUseNet") << "WebUseNet" << " u " << "p" << "2" << "";
    QTest::newRow("second NewsGuy Extra") << "NewsGuy Extra" << "u" << "p" << "2"
                                          << "There is already an account for NewsGuy Extra.\nSelect it and "
                                             "press Update to change it.";
}

void DialogTest::accountMessages()
{
    QFETCH(QString, service);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, downloads);
    QFETCH(QString, message);
    testsupport::FakePrompts prompts;
    CPageAccount page(prompts);
    auto pExisting = std::make_shared<ServiceAccount>();
    pExisting->m_nService = ServiceNewsGuyExtra;
    page.m_accounts.push_back(pExisting);
    page.SetControls();
    FillAccount(page, service, user, password, downloads);
    page.AddButton()->click();
    if (message.isEmpty())
    {
        QVERIFY(prompts.m_messages.empty());
        QCOMPARE(page.m_accounts.size(), size_t(2));
        QCOMPARE(page.AccountList()->topLevelItemCount(), 2);
        const ServiceAccount& added = *page.m_accounts.back();
        QCOMPARE(QString::fromLatin1(ServiceDisplayName(added.m_nService)), service);
        QCOMPARE(added.m_strUsername, user.trimmed().toStdString());
        QCOMPARE(added.m_nMaxDownloads, downloads.toInt());
        QCOMPARE(RowTexts(page.AccountList(), 1),
                 QStringList({service, user.trimmed(), "*********", downloads}));
        if (service == "WebUseNet")
            QCOMPARE(added.m_strDownloadDomain, std::string(GatewayHosts::kWebUseNetHost));
        QVERIFY(page.m_bModified);
    }
    else
    {
        QCOMPARE(prompts.m_messages, std::vector<std::string>({message.toStdString()}));
        QCOMPARE(page.m_accounts.size(), size_t(1));
        QCOMPARE(page.AccountList()->topLevelItemCount(), 1);
    }
}

void DialogTest::accountUpdateKeepsService()
{
    testsupport::FakePrompts prompts;
    CPageAccount page(prompts);
    auto pEasy = std::make_shared<ServiceAccount>();
    pEasy->m_nService = ServiceEasyNews;
    pEasy->m_strHeaderDomain = "easy.example:8080";
    pEasy->m_strDownloadDomain = "easy.example:8080";
    pEasy->m_strUsername = "eu";
    pEasy->m_strPassword = "ep";
    pEasy->m_nMaxDownloads = 3;
    page.m_accounts.push_back(pEasy);
    page.SetControls();
    QVERIFY(!page.UpdateButton()->isEnabled());
    QVERIFY(!page.RemoveButton()->isEnabled());
    page.AccountList()->topLevelItem(0)->setSelected(true);
    QVERIFY(page.UpdateButton()->isEnabled());
    QCOMPARE(page.ServiceBox()->currentText(), QString("EasyNews"));
    QCOMPARE(page.UsernameEdit()->text(), QString("eu"));
    QCOMPARE(page.DownloadsEdit()->text(), QString("3"));
    QVERIFY(!page.BinariesOnlyCheck()->isEnabled());
    QVERIFY(page.BinariesOnlyCheck()->isHidden());
    page.UsernameEdit()->setText("new user");
    page.UpdateButton()->click();
    QVERIFY(prompts.m_messages.empty());
    QCOMPARE(pEasy->m_nService, int32_t(ServiceEasyNews));
    QCOMPARE(pEasy->m_strUsername, std::string("new user"));
    QCOMPARE(pEasy->m_strHeaderDomain, std::string("easy.example:8080"));
    QCOMPARE(RowTexts(page.AccountList(), 0), QStringList({"EasyNews", "new user", "*********", "3"}));
    page.RemoveButton()->click();
    QVERIFY(page.m_accounts.empty());
    QCOMPARE(page.AccountList()->topLevelItemCount(), 0);
}

void DialogTest::sheetRanges_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("downloads");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("page");

    QTest::newRow("limits") << "65335" << "100" << "0" << "" << -1;
    QTest::newRow("port 65336") << "65336" << "2" << "4" << "Please enter an integer between 0 and 65335." << 1;
    QTest::newRow("port text") << "80a" << "2" << "4" << CUpDownEdit::kIntegerExpected << 1;
    QTest::newRow("downloads 101") << "80" << "101" << "4" << "Please enter an integer between 0 and 100." << 2;
    QTest::newRow("retries -1") << "80" << "2" << "-1" << "Please enter an integer between 0 and 100." << 2;
}

void DialogTest::sheetRanges()
{
    QFETCH(QString, port);
    QFETCH(QString, downloads);
    QFETCH(QString, retries);
    QFETCH(QString, message);
    QFETCH(int, page);
    testsupport::FakePrompts prompts;
    CPreferencesDlg dlg(prompts);
    dlg.SetControls();
    dlg.PageProxy().PortEdit()->setText(port);
    dlg.PageDownload().DownloadsEdit()->setText(downloads);
    dlg.PageDownload().RetriesEdit()->setText(retries);
    dlg.Tabs()->setCurrentIndex(3);
    dlg.OkButton()->click();
    if (message.isEmpty())
    {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(prompts.m_messages.empty());
        QCOMPARE(dlg.m_prefs.m_nProxyPort, port.toInt());
        QCOMPARE(dlg.m_prefs.m_nMaxDownloads, downloads.toInt());
    }
    else
    {
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(prompts.m_messages, std::vector<std::string>({message.toStdString()}));
        QCOMPARE(dlg.Tabs()->currentIndex(), page);
        // Nothing was taken over.
        QCOMPARE(dlg.m_prefs.m_nProxyPort, 80);
        QCOMPARE(dlg.m_prefs.m_nMaxDownloads, 2);
    }
}

void DialogTest::proxyEnabling()
{
    CPageProxy page;
    CPreferences prefs;
    prefs.m_bUseProxy = 0;
    page.SetControls(prefs);
    QVERIFY(!page.ManualRadio()->isEnabled());
    QVERIFY(!page.AuthenticationCheck()->isEnabled());
    QVERIFY(!page.PortEdit()->isEnabled());
    page.UseProxyCheck()->click();
    QVERIFY(page.ManualRadio()->isEnabled());
    QVERIFY(!page.PortEdit()->isEnabled()); // registry is chosen
    page.ManualRadio()->click();
    QVERIFY(page.PortEdit()->isEnabled());
    QVERIFY(!page.UsernameEdit()->isEnabled());
    page.AuthenticationCheck()->click();
    QVERIFY(page.UsernameEdit()->isEnabled());
    QVERIFY(page.PasswordEdit()->isEnabled());
    QVERIFY(page.m_bModified);

    CPageQueue queue;
    prefs.m_bDoNotQueue = 0;
    prefs.m_bLoadQueue = 0;
    queue.SetControls(prefs);
    QVERIFY(!queue.ManagerGroup()->button(0)->isEnabled());
    QVERIFY(!queue.OriginalCheck()->isEnabled());
    queue.UseManagerCheck()->click();
    queue.LoadQueueCheck()->click();
    QVERIFY(queue.ManagerGroup()->button(5)->isEnabled());
    QVERIFY(queue.OriginalCheck()->isEnabled());

    CPageDownload download;
    prefs.m_bRetryInfinite = 1;
    prefs.m_bCanEmptyRecycleBin = 0;
    prefs.m_strDefaultPath = "/old/";
    download.SetControls(prefs);
    QVERIFY(!download.RetriesEdit()->isEnabled());
    QVERIFY(!download.EmptyRecycleBinCheck()->isEnabled());
    QString strStart;
    download.m_fnChooseFolder = [&strStart](const QString& strFrom)
    {
        strStart = strFrom;
        return QStringLiteral("/new/folder");
    };
    download.BrowseButton()->click();
    QCOMPARE(strStart, QString("/old"));
    QCOMPARE(download.PathEdit()->text(), QString("/new/folder/"));
}

void DialogTest::preferencesRoundTrip()
{
    m_pProgram->Stop();
    m_pProgram = std::make_unique<CTestProgram>();
    m_pProgram->WriteIni(CTestProgram::CompatibleIni("[Account]\nSubscriptions=1\n"
                                                     "[NewsGuy]\nUsername=ngu\nPassword=ngp\nMaxDownloads=2\n"));
    m_pProgram->Start();
    CMainFrame& frame = m_pProgram->Frame();
    CQueueDocument& doc = m_pProgram->App().Doc()->Document();
    QCOMPARE(doc.m_accounts.size(), size_t(1));
    const AccountPtr pNewsGuy = doc.m_accounts[0];
    pNewsGuy->m_nRunning = 1; // a download of it runs
    frame.UpdateCommandUI();
    QVERIFY(frame.FindAction(ID_FILE_PREFERENCES)->isEnabled());
    QVERIFY(!frame.FindAction(ID_SERVICE_EASYNEWS80)->isEnabled());

    QStringList tabs;
    QStringList firstRow;
    Script({[&](QDialog& dlg)
            {
                auto& sheet = dynamic_cast<CPreferencesDlg&>(dlg);
                for (int i = 0; i < sheet.Tabs()->count(); ++i)
                    tabs << sheet.Tabs()->tabText(i);
                firstRow = RowTexts(sheet.PageAccount().AccountList(), 0);
                FillAccount(sheet.PageAccount(), "EasyNews", "eu", "ep", "7");
                sheet.PageAccount().AddButton()->click();
                sheet.PageProxy().ManualRadio()->click();
                sheet.PageProxy().AddressEdit()->setText("proxy.example");
                sheet.PageProxy().PortEdit()->setText("3128");
                sheet.PageDownload().RetriesEdit()->setText("9");
                sheet.PageDownload().PathEdit()->setText("/downloads");
                sheet.PageQueue().UseManagerCheck()->click();
                sheet.PageQueue().ManagerGroup()->button(4)->click();
                return sheet.windowTitle() == "Preferences";
            }});
    frame.OnCommand(ID_FILE_PREFERENCES);
    QCOMPARE(tabs, QStringList({"Account", "Proxy", "Download", "Queue"}));
    QCOMPARE(firstRow, QStringList({"NewsGuy", "ngu", "*********", "2"}));
    QVERIFY(m_pProgram->m_prompts.m_messages.empty());

    // The document took the accounts over; the running NewsGuy download
    // still counts against the same account object.
    QCOMPARE(doc.m_accounts.size(), size_t(2));
    QCOMPARE(doc.m_accounts[0].get(), pNewsGuy.get());
    QCOMPARE(pNewsGuy->m_nRunning, 1);
    QCOMPARE(doc.m_nSubscriptions, 17);
    QVERIFY(frame.FindAction(ID_SERVICE_EASYNEWS80)->isEnabled());

    QCOMPARE(m_pProgram->GetInt("Account", "Subscriptions"), 17);
    QCOMPARE(m_pProgram->GetString("EasyNews", "Username"), std::string("eu"));
    QCOMPARE(m_pProgram->GetString("EasyNews", "Password"), std::string("ep"));
    QCOMPARE(m_pProgram->GetString("EasyNews", "DownloadDomain"), std::string(GatewayHosts::kEasyNewsMembersHost));
    QCOMPARE(m_pProgram->GetInt("EasyNews", "MaxDownloads"), 7);
    QCOMPARE(m_pProgram->GetString("NewsGuy", "Username"), std::string("ngu"));
    QCOMPARE(m_pProgram->GetInt("Preferences", "ProxySetting"), 1);
    QCOMPARE(m_pProgram->GetString("Preferences", "ProxyAddress"), std::string("proxy.example"));
    QCOMPARE(m_pProgram->GetInt("Preferences", "ProxyPort"), 3128);
    QCOMPARE(m_pProgram->GetInt("Preferences", "MaxRetries"), 9);
    QCOMPARE(m_pProgram->GetString("Preferences", "DefaultPath"), std::string("/downloads/"));
    QCOMPARE(doc.m_settings.m_strDefaultPath, std::string("/downloads/"));
    QCOMPARE(m_pProgram->GetInt("Preferences", "DoNotQueue"), 1);
    QCOMPARE(m_pProgram->GetInt("Preferences", "DownloadManager"), 4);
    QCOMPARE(m_pProgram->GetString("Dravelin", "Version"), std::string("2.0"));
    QCOMPARE(m_pProgram->GetString("Dravelin", "CompatibleBuild"), std::string("0328"));
    QCOMPARE(doc.m_settings.m_nProxyPort, 3128);
}

void DialogTest::preferencesCancelAfterAdd()
{
    CQueueDocument& doc = m_pProgram->App().Doc()->Document();
    const std::vector<AccountPtr> before = doc.m_accounts;
    const int32_t nSubscriptions = doc.m_nSubscriptions;
    Script({[](QDialog& dlg)
            {
                auto& sheet = dynamic_cast<CPreferencesDlg&>(dlg);
                FillAccount(sheet.PageAccount(), "NewsGuy", "u", "p", "3");
                sheet.PageAccount().AddButton()->click();
                sheet.PageProxy().PortEdit()->setText("1234");
                return false;
            }});
    m_pProgram->Frame().OnCommand(ID_FILE_PREFERENCES);
    QVERIFY(doc.m_accounts == before);
    QCOMPARE(doc.m_nSubscriptions, nSubscriptions);
    QCOMPARE(doc.m_settings.m_nProxyPort, 80);
    QCOMPARE(m_pProgram->GetString("NewsGuy", "Username"), std::string("<missing>"));
    QCOMPARE(m_pProgram->GetInt("Preferences", "ProxyPort"), -999);
}

QTEST_MAIN(DialogTest)
#include "DialogTest.moc"
