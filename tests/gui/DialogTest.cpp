// The dialogs behind the article commands (find, filter, kill filter, kill
// entries) and the preferences sheet, driven as a user would fill them in.

#include "GuiTestSupport.h"

#include "app/DialogController.h"
#include "app/DownloadController.h"
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
#include "net/GatewayHosts.h"
#include "system/DesktopNotifier.h"

using namespace guitest;
using testsupport::ReadFile;

namespace
{
QStringList BoxTexts(const QListWidget* pBox)
{
    QStringList texts;
    for (int i = 0; i < pBox->count(); ++i)
        texts << pBox->item(i)->text();
    return texts;
}

QStringList RowTexts(const QTreeWidget* pList, int nRow)
{
    QStringList texts;
    for (int i = 0; i < pList->columnCount(); ++i)
        texts << pList->topLevelItem(nRow)->text(i);
    return texts;
}

void FillAccount(CPageAccount& page, const QString& strService, const QString& strUser,
                 const QString& strPassword, const QString& strDownloads)
{
    page.ServiceBox()->setEditText(strService);
    page.UsernameEdit()->setText(strUser);
    page.PasswordEdit()->setText(strPassword);
    page.DownloadsEdit()->setText(strDownloads);
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

const struct
{
    const char* pszName;
    const char *pszService, *pszUser, *pszPassword, *pszDownloads;
    const char* pszMessage; // empty: the account is added
} kAccountRows[] = {
    {"no service", "", "u", "p", "2", CPageAccount::kNoService},
    {"unknown service", "Giganews", "u", "p", "2",
     "Unknown News Service Provider: Giganews\nChoose NewsGuy, NewsGuy Extra, WebUseNet, WebUseNet Members "
     "or EasyNews."},
    {"blank user", "NewsGuy", "   ", "p", "2", CPageAccount::kNoUsername},
    {"blank password", "NewsGuy", "u", "  ", "2", CPageAccount::kNoPassword},
    {"101 downloads", "NewsGuy", "u", "p", "101", CPageAccount::kTooManyDownloads},
    {"100 downloads", "NewsGuy", "u", "p", "100", ""},
    {"negative passes", "EasyNews", "u", "p", "-3", ""},
    {"typed WebUseNet", "WebUseNet", " u ", "p", "2", ""},
    {"second NewsGuy Extra", "NewsGuy Extra", "u", "p", "2",
     "There is already an account for NewsGuy Extra.\nSelect it and press Update to change it."}};

const struct
{
    const char* pszName;
    const char *pszPort, *pszDownloads, *pszRetries;
    const char* pszMessage; // empty: accepted
    int nPage;              // shown with the message
} kSheetRows[] = {{"limits", "65335", "100", "0", "", -1},
                  {"port 65336", "65336", "2", "4", "Please enter an integer between 0 and 65335.", 1},
                  {"port text", "80a", "2", "4", CUpDownEdit::kIntegerExpected, 1},
                  {"downloads 101", "80", "101", "4", "Please enter an integer between 0 and 100.", 2},
                  {"retries -1", "80", "2", "-1", "Please enter an integer between 0 and 100.", 2}};

class DialogTest : public QObject
{
    Q_OBJECT

private:
    void AddListed(const std::string& strSubject, const std::string& strAuthor = "author")
    {
        guitest::AddListed(m_pProgram->View(), MakeArticle(strSubject, strAuthor, "01/01", 1000));
    }
    void Script(std::vector<std::function<bool(QDialog&)>> steps);
    CArticleList& Articles() const { return m_pProgram->View().Articles(); }
    CKillFilter& KillFilter() const { return m_pProgram->View().Retrieval().m_killFilter; }
    std::string KillFile(const char* pszName) const { return ReadFile(m_pProgram->Folder() + "/" + pszName); }

    std::unique_ptr<CTestProgram> m_pProgram;
    std::shared_ptr<CScript> m_pScript;

private slots:
    void init()
    {
        m_pProgram = std::make_unique<CTestProgram>();
        m_pProgram->StartWith();
    }

    void cleanup()
    {
        if (m_pScript)
            QCOMPARE(m_pScript->nNext, m_pScript->steps.size());
        m_pScript.reset();
        m_pProgram.reset();
    }

    void findPrefilledAndWraps()
    {
        CMainFrame& frame = m_pProgram->Frame();
        const std::vector<int> ids = {ID_ARTICLE_FIND,
                                      ID_ARTICLE_FILTER,
                                      ID_ARTICLE_APPLYKILLFILTER,
                                      ID_ARTICLE_FINDNEXT,
                                      ID_ARTICLE_HIDEINCOMPLETE,
                                      ID_ARTICLE_KILLFILTER,
                                      ID_ARTICLE_ADDAUTHORTOKILL,
                                      ID_ARTICLE_ADDSUBJECTTOKILL};
        QCOMPARE(m_pProgram->EnabledOf(ids), "00001111");
        AddListed("Alpha part one");
        AddListed("beta");
        AddListed("ALPHA part two");
        QCOMPARE(m_pProgram->EnabledOf(ids), "11101111");

        // Cancel changes nothing.
        Script({[](QDialog& dlg)
                {
                    auto& find = dynamic_cast<CFindDlg&>(dlg);
                    if (find.windowTitle() != "Find" || !find.TextEdit()->text().isEmpty() ||
                        find.MatchCaseCheck()->isChecked())
                        return false;
                    find.TextEdit()->setText("beta");
                    return false;
                },
                [](QDialog& dlg)
                {
                    dynamic_cast<CFindDlg&>(dlg).TextEdit()->setText("  alpha ");
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
        QCOMPARE(Articles().m_strFind, std::string());
        QCOMPARE(Articles().GetSelectedCount(), 0);
        frame.OnCommand(ID_ARTICLE_FIND);
        QVERIFY(Articles().IsSelected(0));
        QCOMPARE(Articles().GetSelectedCount(), 1);
        QVERIFY(m_pProgram->Enabled(ID_ARTICLE_FINDNEXT));

        // F3 walks down, then reports the miss, then starts at the top again.
        frame.OnCommand(ID_ARTICLE_FINDNEXT);
        QVERIFY(Articles().IsSelected(2));
        QCOMPARE(Articles().GetSelectedCount(), 1);
        frame.OnCommand(ID_ARTICLE_FINDNEXT);
        QCOMPARE(Articles().GetSelectedCount(), 0);
        QCOMPARE(m_pProgram->m_prompts.m_messages, std::vector<std::string>({"Not found: alpha"}));
        QVERIFY(m_pProgram->Enabled(ID_ARTICLE_FINDNEXT));
        frame.OnCommand(ID_ARTICLE_FINDNEXT);
        QVERIFY(Articles().IsSelected(0));

        // Match case on: only the row in capitals.
        frame.OnCommand(ID_ARTICLE_FIND);
        QCOMPARE(Articles().GetSelectedCount(), 1);
        QVERIFY(Articles().IsSelected(2));
        QCOMPARE(m_pProgram->m_prompts.m_messages.size(), size_t(1));
    }

    void filterRemovesOrSelects()
    {
        for (const char* pszSubject : {"keep this", "to DROP this", "Drop that", "other"})
            AddListed(pszSubject);
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
                },
                [](QDialog& dlg)
                {
                    auto& filter = dynamic_cast<CFilterDlg&>(dlg);
                    filter.TextEdit()->setText("this");
                    filter.RemoveCheck()->setChecked(false);
                    filter.InvertedCheck()->setChecked(true);
                    return true;
                }});
        m_pProgram->Frame().OnCommand(ID_ARTICLE_FILTER);
        // A leading blank stays part of the filter text, so "Drop that" (no blank
        // before it) survives as well.
        QCOMPARE(Subjects(Articles()), std::vector<std::string>({"keep this", "Drop that", "other"}));
        QCOMPARE(Articles().m_strFilter, std::string(" drop"));
        QTRY_VERIFY(m_pProgram->View().ArticleListCtrl().hasFocus());
        // Inverted, select only: the rows without the text are selected.
        m_pProgram->Frame().OnCommand(ID_ARTICLE_FILTER);
        QCOMPARE(Articles().GetItemCount(), 3);
        QVERIFY(!Articles().IsSelected(0) && Articles().IsSelected(1) && Articles().IsSelected(2));
    }

    void killFilterDialogDeletesAndSorts()
    {
        CKillFilter& filter = KillFilter();
        filter.m_lstKillAuthors = {"zed", "Bob", "alice"};
        filter.m_lstKillSubjects = {"spam", "Ads", "junk"};
        QStringList left;
        auto deleteRow = [](CKillFilterDlg& kill, int nRow)
        {
            kill.AuthorBox()->setCurrentRow(nRow);
            emit kill.AuthorBox()->itemDoubleClicked(kill.AuthorBox()->item(nRow));
        };
        Script({[&](QDialog& dlg)
                {
                    // Cancel keeps the lists and their files.
                    auto& kill = dynamic_cast<CKillFilterDlg&>(dlg);
                    deleteRow(kill, 0);
                    left = BoxTexts(kill.AuthorBox());
                    return false;
                },
                [&](QDialog& dlg)
                {
                    auto& kill = dynamic_cast<CKillFilterDlg&>(dlg);
                    if (kill.windowTitle() != "Kill Filter" ||
                        BoxTexts(kill.AuthorBox()) != QStringList({"alice", "Bob", "zed"}) ||
                        BoxTexts(kill.SubjectBox()) != QStringList({"Ads", "junk", "spam"}))
                        return false;
                    // A double-click on "Bob" deletes it.
                    deleteRow(kill, 1);
                    return true;
                }});
        testsupport::WriteFile(m_pProgram->Folder() + "/Author.kill", "old\n");
        m_pProgram->Frame().OnCommand(ID_ARTICLE_KILLFILTER);
        QCOMPARE(left, QStringList({"Bob", "zed"}));
        QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"zed", "Bob", "alice"}));
        QCOMPARE(KillFile("Author.kill"), std::string("old\n"));

        m_pProgram->Frame().OnCommand(ID_ARTICLE_KILLFILTER);
        QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"alice", "zed"}));
        QCOMPARE(filter.m_lstKillSubjects, std::vector<std::string>({"Ads", "junk", "spam"}));
        QCOMPARE(KillFile("Author.kill"), std::string("alice\nzed\n"));
        QCOMPARE(KillFile("Subject.kill"), std::string("Ads\njunk\nspam\n"));
        // The arrival test uses the new lists at once.
        QVERIFY(!filter.IsKilled(*MakeArticle("x", "Bob")));
        QVERIFY(filter.IsKilled(*MakeArticle("x", "ZEDD")));
    }

    void addEntriesToKillLists()
    {
        AddListed("s1", "first@x");
        AddListed("s2", "not selected");
        AddListed("s3", "third@x");
        SelectOnly(Articles(), {0, 2});
        CKillFilter& filter = KillFilter();
        filter.m_lstKillSubjects = {"old"};
        QStringList seen;
        auto record = [&seen](QDialog& dlg, const char* pszText) -> bool
        {
            auto& entry = dynamic_cast<CKillEntryDlg&>(dlg);
            seen << entry.windowTitle() + "|" + entry.Label()->text() + "|" + entry.EntryEdit()->text();
            entry.EntryEdit()->setText(pszText);
            return *pszText != 0;
        };
        // An author per selected row, Cancel skipping only its row.
        Script({[&](QDialog& dlg) { return record(dlg, ""); },
                [&](QDialog& dlg) { return record(dlg, "third"); }});
        m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDAUTHORTOKILL);
        QCOMPARE(filter.m_lstKillAuthors, std::vector<std::string>({"third"}));
        QCOMPARE(KillFile("Author.kill"), std::string("third\n"));
        // Adding removes no row; the new entry kills on arrival.
        QCOMPARE(Articles().GetItemCount(), 3);
        QVERIFY(filter.IsKilled(*MakeArticle("s", "THIRD@x")));

        // Without a selection, one subject, starting empty.
        SelectOnly(Articles(), {});
        Script({[&](QDialog& dlg) { return record(dlg, "new"); }});
        m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDSUBJECTTOKILL);
        QCOMPARE(seen, QStringList({"Add author to kill filter|&Author:|first@x",
                                    "Add author to kill filter|&Author:|third@x",
                                    "Add subject to kill filter|&Subject|"}));
        QCOMPARE(filter.m_lstKillSubjects, std::vector<std::string>({"old", "new"}));
        QCOMPARE(KillFile("Subject.kill"), std::string("old\nnew\n"));
        // Cancel still writes the list's file.
        std::remove((m_pProgram->Folder() + "/Subject.kill").c_str());
        Script({[](QDialog&) { return false; }});
        m_pProgram->Frame().OnCommand(ID_ARTICLE_ADDSUBJECTTOKILL);
        QCOMPARE(KillFile("Subject.kill"), std::string("old\nnew\n"));
    }

    void accountMessages_data() { AddRows(kAccountRows); }

    void accountMessages()
    {
        const auto& row = Row(kAccountRows);
        testsupport::FakePrompts prompts;
        CPageAccount page(prompts);
        auto pExisting = std::make_shared<ServiceAccount>();
        pExisting->m_nService = ServiceNewsGuyExtra;
        page.m_accounts.push_back(pExisting);
        page.SetControls();
        FillAccount(page, row.pszService, row.pszUser, row.pszPassword, row.pszDownloads);
        page.AddButton()->click();
        const bool bAdded = *row.pszMessage == 0;
        QCOMPARE(prompts.m_messages,
                 bAdded ? std::vector<std::string>() : std::vector<std::string>{row.pszMessage});
        QCOMPARE(page.m_accounts.size(), size_t(bAdded ? 2 : 1));
        QCOMPARE(page.AccountList()->topLevelItemCount(), bAdded ? 2 : 1);
        if (!bAdded)
            return;
        const ServiceAccount& added = *page.m_accounts.back();
        const QString strUser = QString(row.pszUser).trimmed();
        QCOMPARE(QString::fromLatin1(ServiceDisplayName(added.m_nService)), QString(row.pszService));
        QCOMPARE(added.m_strUsername, strUser.toStdString());
        QCOMPARE(added.m_nMaxDownloads, std::stoi(row.pszDownloads));
        QCOMPARE(RowTexts(page.AccountList(), 1),
                 QStringList({row.pszService, strUser, "*********", row.pszDownloads}));
        if (std::string(row.pszService) == "WebUseNet")
            QCOMPARE(added.m_strDownloadDomain, std::string(GatewayHosts::kWebUseNetHost));
        QVERIFY(page.m_bModified);
    }

    void accountUpdateKeepsService()
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
        QCOMPARE(page.ServiceBox()->currentText() + "|" + page.UsernameEdit()->text() + "|" +
                     page.DownloadsEdit()->text(),
                 QString("EasyNews|eu|3"));
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

    void sheetRanges_data() { AddRows(kSheetRows); }

    void sheetRanges()
    {
        const auto& row = Row(kSheetRows);
        testsupport::FakePrompts prompts;
        CPreferencesDlg dlg(prompts);
        dlg.SetControls();
        dlg.PageProxy().PortEdit()->setText(row.pszPort);
        dlg.PageDownload().DownloadsEdit()->setText(row.pszDownloads);
        dlg.PageDownload().RetriesEdit()->setText(row.pszRetries);
        dlg.Tabs()->setCurrentIndex(3);
        dlg.OkButton()->click();
        const bool bAccepted = *row.pszMessage == 0;
        QCOMPARE(dlg.result(), int(bAccepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(prompts.m_messages,
                 bAccepted ? std::vector<std::string>() : std::vector<std::string>{row.pszMessage});
        QCOMPARE(dlg.Tabs()->currentIndex(), bAccepted ? 3 : row.nPage);
        // Nothing is taken over from a refused sheet.
        QCOMPARE(dlg.m_prefs.m_nProxyPort, bAccepted ? std::stoi(row.pszPort) : 80);
        QCOMPARE(dlg.m_prefs.m_nMaxDownloads, bAccepted ? std::stoi(row.pszDownloads) : 2);
    }

    void pagesEnableTheirControls()
    {
        CPageProxy page;
        CPreferences prefs;
        prefs.m_bUseProxy = 0;
        page.SetControls(prefs);
        auto proxy = [&page]
        {
            return EnabledOf({page.ManualRadio(), page.AuthenticationCheck(), page.PortEdit(),
                              page.UsernameEdit(), page.PasswordEdit()});
        };
        QCOMPARE(proxy(), "00000");
        page.UseProxyCheck()->click();
        QCOMPARE(proxy(), "11000"); // the registry is chosen
        page.ManualRadio()->click();
        QCOMPARE(proxy(), "11100");
        page.AuthenticationCheck()->click();
        QCOMPARE(proxy(), "11111");
        QVERIFY(page.m_bModified);

        CPageQueue queue;
        prefs.m_bDoNotQueue = 0;
        prefs.m_bLoadQueue = 0;
        queue.SetControls(prefs);
        QCOMPARE(EnabledOf({queue.ManagerGroup()->button(0), queue.ManagerGroup()->button(5),
                            queue.OriginalCheck()}),
                 "000");
        queue.UseManagerCheck()->click();
        queue.LoadQueueCheck()->click();
        QCOMPARE(EnabledOf({queue.ManagerGroup()->button(0), queue.ManagerGroup()->button(5),
                            queue.OriginalCheck()}),
                 "111");

        CPageDownload download;
        prefs.m_bRetryInfinite = 1;
        prefs.m_bCanEmptyRecycleBin = 0;
        prefs.m_strDefaultPath = "/old/";
        download.SetControls(prefs);
        QCOMPARE(EnabledOf({download.RetriesEdit(), download.EmptyRecycleBinCheck()}), "00");
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

    void preferencesRoundTrip()
    {
        m_pProgram = std::make_unique<CTestProgram>();
        m_pProgram->StartWith(
            "[Account]\nSubscriptions=1\n[NewsGuy]\nUsername=ngu\nPassword=ngp\nMaxDownloads=2\n");
        CMainFrame& frame = m_pProgram->Frame();
        CQueueDocument& doc = m_pProgram->Doc();
        QCOMPARE(doc.m_accounts.size(), size_t(1));
        const AccountPtr pNewsGuy = doc.m_accounts[0];
        pNewsGuy->m_nRunning = 1; // a download of it runs
        QVERIFY(m_pProgram->Enabled(ID_FILE_PREFERENCES));
        QVERIFY(!m_pProgram->Enabled(ID_SERVICE_EASYNEWS80));

        CDesktopNotifier& notifier = m_pProgram->View().Downloads().Notifier();
        QStringList tabs;
        QStringList firstRow;
        bool bNotifyShown = false;
        auto fill = [&](QDialog& dlg)
        {
            auto& sheet = dynamic_cast<CPreferencesDlg&>(dlg);
            bNotifyShown = sheet.NotificationsCheck()->isChecked();
            sheet.NotificationsCheck()->click();
            tabs.clear();
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
            // The notifications switch is outside the pages, which stay as they are.
            return sheet.windowTitle() == "Preferences" &&
                   !sheet.Tabs()->isAncestorOf(sheet.NotificationsCheck());
        };
        // Cancel after all that: nothing changes, nothing is written.
        Script({[&](QDialog& dlg) { return !fill(dlg); }, fill});
        frame.OnCommand(ID_FILE_PREFERENCES);
        QCOMPARE(doc.m_accounts, std::vector<AccountPtr>({pNewsGuy}));
        QCOMPARE(doc.m_nSubscriptions, 1);
        QCOMPARE(doc.m_settings.m_nProxyPort, 80);
        QVERIFY(notifier.IsEnabled());
        QCOMPARE(m_pProgram->Keys("EasyNews", {"Username"}) + m_pProgram->Keys("Preferences", {"ProxyPort"}),
                 "Username=<missing>ProxyPort=<missing>");

        frame.OnCommand(ID_FILE_PREFERENCES);
        QCOMPARE(tabs, QStringList({"Account", "Proxy", "Download", "Queue", "Usenet"}));
        QCOMPARE(firstRow, QStringList({"NewsGuy", "ngu", "*********", "2"}));
        QVERIFY(bNotifyShown);
        QVERIFY(!notifier.IsEnabled());
        QVERIFY(m_pProgram->m_prompts.m_messages.empty());
        // The document took the accounts over; the running NewsGuy download
        // still counts against the same account object.
        QCOMPARE(doc.m_accounts.size(), size_t(2));
        QCOMPARE(doc.m_accounts[0].get(), pNewsGuy.get());
        QCOMPARE(pNewsGuy->m_nRunning, 1);
        QCOMPARE(doc.m_nSubscriptions, 17);
        QVERIFY(frame.FindAction(ID_SERVICE_EASYNEWS80)->isEnabled());
        QCOMPARE(doc.m_settings.m_strDefaultPath, std::string("/downloads/"));
        QCOMPARE(doc.m_settings.m_nProxyPort, 3128);

        QCOMPARE(m_pProgram->Keys("Account", {"Subscriptions"}), "Subscriptions=17");
        QCOMPARE(m_pProgram->Keys("EasyNews", {"Username", "Password", "DownloadDomain", "MaxDownloads"}),
                 QString("Username=eu|Password=ep|DownloadDomain=%1|MaxDownloads=7")
                     .arg(GatewayHosts::kEasyNewsMembersHost));
        QCOMPARE(m_pProgram->Keys("NewsGuy", {"Username"}), "Username=ngu");
        QCOMPARE(m_pProgram->Keys("Preferences",
                                  {"ProxySetting", "ProxyAddress", "ProxyPort", "MaxRetries", "DefaultPath",
                                   "DoNotQueue", "DownloadManager", "DesktopNotifications"}),
                 "ProxySetting=1|ProxyAddress=proxy.example|ProxyPort=3128|MaxRetries=9|"
                 "DefaultPath=/downloads/|DoNotQueue=1|DownloadManager=4|DesktopNotifications=0");
        QCOMPARE(m_pProgram->Keys("Dravelin", {"Version", "CompatibleBuild"}),
                 "Version=2.0|CompatibleBuild=0328");
    }
};

void DialogTest::Script(std::vector<std::function<bool(QDialog&)>> steps)
{
    if (m_pScript)
        QCOMPARE(m_pScript->nNext, m_pScript->steps.size());
    m_pScript = std::make_shared<CScript>();
    m_pScript->steps = std::move(steps);
    auto* pController = m_pProgram->View().findChild<CDialogController*>();
    QVERIFY(pController);
    pController->m_fnRunDialog = [pScript = m_pScript](QDialog& dlg) { return (*pScript)(dlg); };
}

QTEST_MAIN(DialogTest)
#include "DialogTest.moc"
