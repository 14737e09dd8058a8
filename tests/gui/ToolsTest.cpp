// The desktop's system services, the Tools commands and the queue's hand-over
// to other programs. Nothing here reaches the machine's real power-off,
// connections or trash: the system bus is pointed at a socket that does not
// exist, or at a private bus with fake services.

#include "FakeSystemBus.h"
#include "GuiTestSupport.h"

#include "app/ToolsController.h"
#include "export/ArticleUrl.h"
#include "export/ClipboardHandOff.h"
#include "export/QueueExport.h"
#include "settings/Preferences.h"
#include "system/QtSystemServices.h"
#include "tools/FakeSystemServices.h"
#include "tools/QueueTools.h"

#include <sys/stat.h>

using namespace guitest;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
// NewsGuy and EasyNews subscribed.
constexpr const char* kAccounts = "[Account]\nSubscriptions=17\n";
constexpr const char* kMissingBus = "unix:path=/nonexistent/dravelin-test/system_bus_socket";

QString ClipboardText()
{
    return QGuiApplication::clipboard()->text();
}

ArticlePtr QueuedArticle(const std::string& strSubject, const std::string& strQuery, int nState,
                         int32_t nService = 1)
{
    ArticlePtr pArticle = MakeArticle(strSubject, "author", "01/01", 1000, nState);
    pArticle->m_nService = nService;
    pArticle->m_strDecodeQuery = strQuery;
    return pArticle;
}

// A started program on a settings file that passes the version check.
class CProgram : public CTestProgram
{
public:
    explicit CProgram(const std::string& strMore = std::string(),
                      const std::string& strPreferences = "LoadQueue=0\nSaveQueue=0\n")
    {
        StartWith(strMore, strPreferences);
    }
    CPreferences& Settings() { return Doc().m_settings; }
    // A controller over other services that takes the commands while it lives.
    std::unique_ptr<CToolsController> Controller(std::unique_ptr<ISystemServices> pServices)
    {
        return std::make_unique<CToolsController>(View(), *App().Doc(), m_prompts, Frame(),
                                                  std::move(pServices));
    }
    // nCount EasyNews articles in the article list, selected if asked.
    std::vector<ArticlePtr> ListArticles(int nCount, bool bSelect)
    {
        std::vector<ArticlePtr> articles;
        for (int i = 0; i < nCount; ++i)
        {
            const std::string strN = std::to_string(i);
            articles.push_back(QueuedArticle("article " + strN, "n=" + strN, StateListed, 16));
            View().ArticleListCtrl().AddArticleRow(articles.back());
            if (bSelect)
                View().Articles().SetItemState(i, CArticleList::RowSelected, CArticleList::RowSelected);
        }
        return articles;
    }
    // The hand-off's next clipboard text (the pause after the last is over).
    void Tick() { View().Tools()->OnTimer(CClipboardHandOff::kTimerId); }
};

// Receives the URLs the desktop would open.
class CUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> m_urls;

public slots:
    void Open(const QUrl& url) { m_urls << url; }
};

// Records whether the queue file was on disk when the power-off was asked for.
class CPowerOffServices : public toolstest::FakeSystemServices
{
public:
    explicit CPowerOffServices(std::string strQueuePath) : m_strQueuePath(std::move(strQueuePath)) {}
    bool PowerOff() override
    {
        m_bQueueSavedFirst = std::filesystem::exists(m_strQueuePath);
        return FakeSystemServices::PowerOff();
    }
    std::string m_strQueuePath;
    bool m_bQueueSavedFirst = false;
};
} // namespace

class ToolsTest : public QObject
{
    Q_OBJECT

public:
    ToolsTest()
    {
        // Before anything asks for the system bus: this process must never
        // reach the machine's NetworkManager or login manager.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", kMissingBus);
    }

private slots:
    void desktopServices()
    {
        CQtSystemServices services;
        const std::string strText = "http://dl.example/news-bin/wwwdecode?a=1&b=2\r\nsecond line\r\n";
        QVERIFY(services.SetClipboardText(strText));
        QCOMPARE(ClipboardText().toStdString(), strText);
        QVERIFY(services.SetClipboardText("replaced"));
        QCOMPARE(ClipboardText(), QStringLiteral("replaced"));

        // Quotes, blanks and shell characters reach the program as they are: no
        // shell takes the command line apart. Relative names only resolve in the
        // working folder given; a name that is not valid in the locale's encoding
        // keeps its bytes.
        TempDir dir;
        const std::string strSource = "source \"quoted\" 'single' $HOME;.txt";
        WriteFile(dir.File(strSource), "first");
        for (const char* pszCopy : {"cp", "/bin/cp"})
        {
            const std::string strTarget =
                *pszCopy == '/' ? "odd\xff\xfe name.bin" : "target with  two  blanks & more.txt";
            QVERIFY(services.StartProgram(pszCopy, {strSource, strTarget}, dir.Path().string()));
            QTRY_COMPARE_WITH_TIMEOUT(ReadFile(dir.File(strTarget)), std::string("first"), 10000);
        }
        QVERIFY(!services.StartProgram(dir.File("no-such-program"), {}, ""));
        QVERIFY(!services.StartProgram("dravelin-no-such-program-in-path", {}, ""));
        QVERIFY(!services.StartProgram("", {}, ""));
        QVERIFY(!services.StartProgram("true", {}, dir.File("missing-folder")));

        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        const std::string strPath = "/tmp/some folder/file #1.bin";
        QVERIFY(services.OpenFile(strPath));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.m_urls.size(), 1);
        QVERIFY(catcher.m_urls[0].isLocalFile());
        QCOMPARE(catcher.m_urls[0].toLocalFile().toStdString(), strPath);
        QVERIFY(!services.OpenFile(""));

        // No system bus, through the environment (the process's system bus) and given directly.
        CQtSystemServices privateBus("/proc/self/mounts", QString::fromLatin1(kMissingBus));
        for (CQtSystemServices* pServices : {&services, &privateBus})
        {
            QVERIFY(!pServices->HaveDialUp());
            std::vector<std::string> connections{"stale"};
            QVERIFY(!pServices->EnumDialUpConnections(connections));
            QVERIFY(connections.empty());
            QVERIFY(
                !pServices->IsDialUpConnectionActive("/org/freedesktop/NetworkManager/ActiveConnection/1"));
            pServices->HangUpDialUpConnection("/org/freedesktop/NetworkManager/ActiveConnection/1");
            QVERIFY(!pServices->PowerOff());
        }
    }

    void dialUpTypes_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("bluetooth");
        QTest::addColumn<bool>("dialUp");
        // connection type/bluetooth type=dial-up
        for (const char* pszRow : {"pppoe=1", "gsm=1", "cdma=1", "bluetooth/dun=1", "bluetooth/panu=0",
                                   "bluetooth/=0", "802-3-ethernet=0", "802-11-wireless=0", "vpn=0"})
        {
            const QStringList row = QString(pszRow).split('=');
            const QStringList types = row[0].split('/');
            QTest::newRow(pszRow) << types[0] << types.value(1) << (row[1] == "1");
        }
    }

    void dialUpTypes()
    {
        QFETCH(QString, type);
        QFETCH(QString, bluetooth);
        QFETCH(bool, dialUp);
        QCOMPARE(CQtSystemServices::IsDialUpType(type, bluetooth), dialUp);
    }

    void dialUpAndPowerOffOverTheBus()
    {
        TempDir dir;
        CFakeSystemBus bus;
        if (!bus.Start(QString::fromStdString(dir.Path().string())))
            QSKIP("dbus-daemon cannot be run here");
        CQtSystemServices services("/proc/self/mounts", bus.Address());
        // NetworkManager is not running yet.
        QVERIFY(!services.HaveDialUp());
        std::vector<std::string> connections;
        QVERIFY(!services.EnumDialUpConnections(connections));
        QVERIFY(bus.ClaimNames());
        QVERIFY(services.HaveDialUp());
        QVERIFY(services.EnumDialUpConnections(connections));
        QVERIFY(connections.empty());

        // Connections 1 to 5; the fifth is deactivated (state 4).
        const QString strActive = QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/");
        const QString strSettings = QStringLiteral("/org/freedesktop/NetworkManager/Settings/");
        const char* lines[] = {"gsm", "802-3-ethernet", "bluetooth/dun", "bluetooth/panu", "pppoe"};
        for (int i = 0; i < 5; ++i)
        {
            const QString strN = QString::number(i + 1);
            const QStringList type = QString(lines[i]).split('/');
            bus.AddActive(strActive + strN, {type[0], i == 4 ? 4u : 2u, strSettings + strN, false});
            if (type.size() > 1)
                bus.SetBluetoothType(strSettings + strN, type[1]);
        }
        QVERIFY(services.EnumDialUpConnections(connections));
        const std::string strPrefix = strActive.toStdString();
        QCOMPARE(connections, (std::vector<std::string>{strPrefix + "1", strPrefix + "3", strPrefix + "5"}));
        QVERIFY(services.IsDialUpConnectionActive(strPrefix + "1"));
        QVERIFY(!services.IsDialUpConnectionActive(strPrefix + "5")); // deactivated
        QVERIFY(!services.IsDialUpConnectionActive(strPrefix + "9")); // no such object
        QVERIFY(!services.IsDialUpConnectionActive("not a path"));

        // The end-of-queue hang-up: each live line is dropped and waited for in
        // turn; the one already down is skipped.
        CPreferences settings;
        testsupport::FakePrompts prompts;
        toolstest::FakeTimerClock clock;
        CQueueTools tools(settings, &services, &prompts, &clock);
        QCOMPARE(tools.m_bHaveRas, 1);
        tools.HangUpConnections();
        QCOMPARE(bus.Deactivated(), (std::vector<QString>{strActive + "1"}));
        QVERIFY(tools.IsHangingUp());
        QVERIFY(clock.IsRunning(CQueueTools::kHangUpTimerId));
        tools.OnTimer(CQueueTools::kHangUpTimerId);
        QCOMPARE(bus.Deactivated(), (std::vector<QString>{strActive + "1", strActive + "3"}));
        QVERIFY(tools.IsHangingUp());
        tools.OnTimer(CQueueTools::kHangUpTimerId);
        QVERIFY(!tools.IsHangingUp());
        QVERIFY(!clock.IsRunning(CQueueTools::kHangUpTimerId));
        QCOMPARE(bus.Deactivated().size(), size_t(2));
        QVERIFY(prompts.m_messages.empty());

        // The power-off asks without an authentication dialog; a refusal is false.
        QVERIFY(services.PowerOff());
        bus.SetPowerOffRefused(true);
        QVERIFY(!services.PowerOff());
        QCOMPARE(bus.PowerOffs(), (std::vector<bool>{false, false}));
    }

    void whenDoneCommandsFollowTheQueueSettings()
    {
        CProgram program;
        QVERIFY(program.View().Tools());
        // No dial-up without the system bus; the clean-ups are always there.
        const std::vector<int> ids = {ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF, ID_TOOLS_DELETETEMPINET,
                                      ID_TOOLS_EMPTYRECYCLEBIN, ID_QUEUE_EXPORTGETRIGHT};
        QCOMPARE(program.EnabledOf(ids), "01111");
        QCOMPARE(program.CheckedOf(ids), "00000");
        program.Trigger(ID_TOOLS_POWEROFF);
        QCOMPARE(program.CheckedOf(ids), "01000");
        QCOMPARE(program.View().Tools()->Tools()->m_bPowerOffWhenDone, 1);
        CPreferences& settings = program.Settings();
        {
            // Services that can list dial-up connections.
            auto pTools = program.Controller(std::make_unique<toolstest::FakeSystemServices>());
            QCOMPARE(program.EnabledOf(ids), "11111");
            program.Trigger(ID_TOOLS_HANGUP);
            program.Trigger(ID_TOOLS_POWEROFF);
            QCOMPARE(program.CheckedOf({ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF}), "11");
            // "Use a download manager" on: Dravelin has no queue of its own to finish.
            program.Trigger(ID_USE_DOWNLOADMANAGER);
            QCOMPARE(settings.m_bDoNotQueue, 1);
            QCOMPARE(program.EnabledOf({ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF}), "00");
            program.Trigger(ID_USE_DOWNLOADMANAGER);
            settings.m_nMaxDownloads = 0;
            QCOMPARE(program.EnabledOf({ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF}), "00");
            settings.m_nMaxDownloads = 2;
            QCOMPARE(program.EnabledOf({ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF}), "11");
            // The choices survived being disabled.
            QCOMPARE(program.CheckedOf({ID_TOOLS_HANGUP, ID_TOOLS_POWEROFF}), "11");
        }
        // The commands go back to the view's own controller, its choice kept.
        program.View().Tools()->RegisterCommands();
        QCOMPARE(program.EnabledOf(ids), "01111");
        QCOMPARE(program.CheckedOf(ids), "01000");
        program.Trigger(ID_TOOLS_POWEROFF);
        QVERIFY(!program.Checked(ID_TOOLS_POWEROFF));
    }

    void cleanUpCommandsClearCacheAndTrash()
    {
        CProgram program;
        TempDir home;
        auto pFake = std::make_unique<toolstest::FakeSystemServices>();
        pFake->m_strHome = home.Path().string();
        pFake->m_strDataHome = home.File("data");
        pFake->m_strCacheHome = home.File("cache");
        std::filesystem::create_directories(home.Path() / "data" / "Trash" / "files" / "folder");
        std::filesystem::create_directories(home.Path() / "data" / "Trash" / "info");
        std::filesystem::create_directories(home.Path() / "cache" / "dravelin" / "sub");
        WriteFile(home.File("data/Trash/files/folder/a.bin"), "a");
        WriteFile(home.File("data/Trash/info/folder.trashinfo"), "[Trash Info]\n");
        WriteFile(home.File("cache/dravelin/sub/page.html"), "<html>");
        WriteFile(home.File("cache/other.bin"), "not ours");
        {
            auto pTools = program.Controller(std::move(pFake));
            QVERIFY(program.Enabled(ID_TOOLS_DELETETEMPINET));
            program.Trigger(ID_TOOLS_DELETETEMPINET);
            QVERIFY(std::filesystem::is_directory(home.File("cache/dravelin")));
            QVERIFY(std::filesystem::is_empty(home.File("cache/dravelin")));
            QVERIFY(std::filesystem::exists(home.File("cache/other.bin")));
            QVERIFY(!QGuiApplication::overrideCursor());

            QVERIFY(program.Enabled(ID_TOOLS_EMPTYRECYCLEBIN));
            program.Trigger(ID_TOOLS_EMPTYRECYCLEBIN);
            QVERIFY(std::filesystem::is_empty(home.File("data/Trash/files")));
            QVERIFY(std::filesystem::is_empty(home.File("data/Trash/info")));
            QVERIFY(!QGuiApplication::overrideCursor());
            QCOMPARE(pTools->QueueTools().m_bEmptyingRecycleBin, 0);
            QCOMPARE(pTools->QueueTools().m_bDeletingTempFiles, 0);
        }
        program.View().Tools()->RegisterCommands();
        QVERIFY(program.m_prompts.m_messages.empty());
    }

    // The states each article is left in are the export's own (its tests); here:
    // the commands reach it with the right choices and the desktop's clipboard.
    void copyQueueToClipboard()
    {
        CProgram program(kAccounts);
        CQueueDocument& doc = program.Doc();
        AccountPtr pAccount = doc.FindAccount(1);
        QVERIFY(pAccount);
        pAccount->m_strUsername = "user";
        pAccount->m_strPassword = "secret";
        QCOMPARE(program.EnabledOf({ID_QUEUE_COPYTOCLIPBOARD, ID_QUEUE_COPYWITHPASSWORD}), "00");

        ArticlePtr pQueued1 = QueuedArticle("one", "q=1", StateQueued);
        ArticlePtr pExported = QueuedArticle("two", "q=2", StateExported);
        ArticlePtr pQueued2 = QueuedArticle("five", "q=5", StateQueued);
        for (const ArticlePtr& p : {pQueued1, pExported, QueuedArticle("three", "q=3", StateDownloading),
                                    QueuedArticle("four", "q=4", StateDone), pQueued2})
            program.View().ProgressListCtrl().AddArticleRow(p);
        QCOMPARE(program.EnabledOf({ID_QUEUE_COPYTOCLIPBOARD, ID_QUEUE_COPYWITHPASSWORD}), "11");

        // No: the already exported article stays out.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        program.m_prompts.m_answers = {false};
        program.Trigger(ID_QUEUE_COPYTOCLIPBOARD);
        QCOMPARE(program.m_prompts.m_questions.back(), std::string("Include already exported articles?"));
        QCOMPARE(ClipboardText().toStdString(), BuildArticleUrl(*pQueued1, false, doc, false) +
                                                    BuildArticleUrl(*pQueued2, false, doc, false));
        QVERIFY(!ClipboardText().contains(QStringLiteral("secret")));
        QCOMPARE(pQueued1->m_nState, int(StateExported));

        // Yes, with the password: everything exported so far, in queue order,
        // once the pause after the first text is over.
        program.m_prompts.m_answers = {true};
        program.Trigger(ID_QUEUE_COPYWITHPASSWORD);
        program.Tick();
        QCOMPARE(ClipboardText().toStdString(), BuildArticleUrl(*pQueued1, true, doc, false) +
                                                    BuildArticleUrl(*pExported, true, doc, false) +
                                                    BuildArticleUrl(*pQueued2, true, doc, false));
        QVERIFY(ClipboardText().startsWith(QStringLiteral("http://user:secret@")));
        QCOMPARE(program.View().Progress().GetItemCount(), 5);

        // Nothing left to take: nothing changes, nothing is shown.
        program.m_prompts.m_answers = {false};
        QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
        program.Trigger(ID_QUEUE_COPYTOCLIPBOARD);
        program.Tick();
        QCOMPARE(ClipboardText(), QStringLiteral("untouched"));
        QVERIFY(program.m_prompts.m_messages.empty());
    }

    void exportQueueToGetRightStartsTheProgram()
    {
        CProgram program(kAccounts);
        CQueueDocument& doc = program.Doc();
        TempDir bin;
        // A stand-in for GetRight that writes its working folder and arguments.
        const std::string strProgram = bin.File("get right");
        const std::string strRecord = bin.File("args.txt");
        WriteFile(strProgram, "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '" +
                                  strRecord + ".tmp' && mv '" + strRecord + ".tmp' '" + strRecord + "'\n");
        QCOMPARE(::chmod(strProgram.c_str(), 0755), 0);
        doc.m_settings.m_strGetRightPath = strProgram;

        // Nothing queued: no list file, no program.
        program.View().ProgressListCtrl().AddArticleRow(QueuedArticle("done", "q=0", StateDone));
        program.Trigger(ID_QUEUE_EXPORTGETRIGHT);
        const std::string strList = program.App().Doc()->Folder().GetGetRightListPath();
        QVERIFY(!std::filesystem::exists(strList));

        ArticlePtr pA = QueuedArticle("a", "a=1", StateQueued);
        ArticlePtr pB = QueuedArticle("b", "b=2", StateQueued);
        program.View().ProgressListCtrl().AddArticleRow(pA);
        program.View().ProgressListCtrl().AddArticleRow(pB);
        QVERIFY(program.Enabled(ID_QUEUE_EXPORTGETRIGHT));
        program.Trigger(ID_QUEUE_EXPORTGETRIGHT);
        QCOMPARE(pA->m_nState, int(StateExported));
        QCOMPARE(ReadFile(strList), StripUrlLineEnd(BuildArticleUrl(*pA, false, doc, false)) + "\r\r\n" +
                                        StripUrlLineEnd(BuildArticleUrl(*pB, false, doc, false)) + "\r\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(strRecord), 10000);
        QCOMPARE(ReadFile(strRecord), "/\n[" + strList + "]\n");
    }

    void handOffPutsUrlsOnTheClipboardOneByOne()
    {
        CProgram program(kAccounts);
        CQueueDocument& doc = program.Doc();
        doc.m_settings.m_nDownloadManager = CQueueExport::ManagerClipboard;
        // The toolbar switch turns the download commands into hand-offs.
        QVERIFY(program.View().OnCommand(ID_USE_DOWNLOADMANAGER));
        QCOMPARE(doc.m_settings.m_bDoNotQueue, 1);
        std::vector<ArticlePtr> articles = program.ListArticles(2, true);
        program.View().SetActiveService(16, false);
        QVERIFY(program.View().OnCommand(ID_ARTICLE_DOWNLOAD));
        // Nothing is queued for our own download; the URLs go out one per tick.
        QCOMPARE(program.View().Progress().GetItemCount(), 0);
        for (const ArticlePtr& p : articles)
        {
            QCOMPARE(p->m_nState, int(StateExported));
            QCOMPARE(ClipboardText().toStdString(), BuildArticleUrl(*p, false, doc, false));
            program.Tick();
        }

        IArticleHandOff* pHandOff = program.View().Tools()->HandOff();
        QVERIFY(pHandOff);
        articles = program.ListArticles(3, false);
        // EasyNews on port 81: the hand-off takes the view's current choice.
        program.View().SetActiveService(16, true);
        for (int i = 0; i < 3; ++i)
        {
            std::lock_guard lock(articles[i]->m_lock);
            pHandOff->HandOffArticle(articles[i], i, "/downloads/");
        }
        // The first is on at once; the others wait for their turn.
        QCOMPARE(articles[1]->m_nState, int(StateListed));
        QVERIFY(ClipboardText().contains(QStringLiteral(":81")));
        for (int i = 0; i < 3; ++i)
        {
            QCOMPARE(articles[i]->m_nState, int(StateExported));
            QCOMPARE(ClipboardText().toStdString(), BuildArticleUrl(*articles[i], false, doc, true));
            QCOMPARE(articles[i]->m_strDownloadPath, std::string("/downloads/"));
            program.Tick();
        }
    }

    void powerOffSavesFirstAndCloses()
    {
        CProgram program(std::string(), "LoadQueue=0\nSaveQueue=1\n");
        const std::string strQueue = program.App().Doc()->Folder().GetQueuePath();
        std::filesystem::remove(strQueue);
        program.View().ProgressListCtrl().AddArticleRow(QueuedArticle("kept", "k=1", StateQueued));
        QVERIFY(program.Frame().isVisible());

        auto pServices = std::make_unique<CPowerOffServices>(strQueue);
        CPowerOffServices* pFake = pServices.get();
        pFake->m_bPowerOffAccepted = false;
        {
            auto pTools = program.Controller(std::move(pServices));
            program.Trigger(ID_TOOLS_POWEROFF);
            pTools->QueueTools().PowerOffMachine();
            QCOMPARE(pFake->m_nPowerOffs, 1);
            QVERIFY(pFake->m_bQueueSavedFirst);
            QCOMPARE(pTools->QueueTools().m_bStateSaved, 1);
            // Refused: said so, and Dravelin ends all the same.
            QCOMPARE(program.m_prompts.m_messages, std::vector<std::string>{"ERROR: ExitWindowsEx"});
            QVERIFY(!program.Frame().isVisible());
        }
        program.View().Tools()->RegisterCommands();
        // The view's own save is not done a second time.
        std::filesystem::remove(strQueue);
        program.Stop();
        QVERIFY(!std::filesystem::exists(strQueue));
    }
};

QTEST_MAIN(ToolsTest)
#include "ToolsTest.moc"
