// The program as a desktop citizen: files from outside and the hand-off of a
// second start, and desktop notifications over a private session bus.

#include "FakeSystemBus.h"
#include "GuiTestSupport.h"

#include "app/DownloadController.h"
#include "app/SingleInstance.h"
#include "download/DownloadOptions.h"
#include "gateway/GatewaySimulator.h"
#include "model/QueueFile.h"
#include "system/DesktopNotifier.h"
#include "ui/MessageSink.h"

#include <QDBusConnection>

#include <csignal>

using namespace guitest;

namespace
{
constexpr const char* kGroup = "alt.binaries.desktop";

// A queue file of two finished articles (they load without starting).
void WriteQueueFile(const std::string& strPath)
{
    std::vector<ArticlePtr> articles;
    for (const char* pszSubject : {"from outside 1", "from outside 2"})
        articles.push_back(MakeArticle(pszSubject, "a", "01/01", 10, StateDone));
    QVERIFY(CQueueFile::SaveQueueFile(strPath, articles));
}

// MaxDownloads=0: queued articles wait, no worker starts.
const std::string kImportIni =
    CTestProgram::CompatibleIni({}, {}, "LoadQueue=0\nSaveQueue=0\nMaxDownloads=0\nDefaultPath=/srv/news\n");
const char* kBadNzb = "This NZB file cannot be used: it cannot be read, it is not an NZB file,\nor it lists "
                      "no files to download. Nothing was queued.";
const char* kNzb =
    "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\"><file poster=\"ann\" date=\"984391200\" "
    "subject=\"&quot;a.rar&quot; yEnc (1/1)\"><groups><group>g</group></groups><segments><segment "
    "bytes=\"10\" number=\"1\">a1@x</segment></segments></file><file poster=\"ann\" date=\"984391200\" "
    "subject=\"&quot;b.rar&quot; yEnc (1/1)\"><groups><group>g</group></groups><segments><segment "
    "bytes=\"20\" number=\"1\">b1@x</segment></segments></file></nzb>";
enum EContent
{
    Nzb,
    NzbWithoutSegments,
    BadNzb,
    Queue,
    EmptyQueue,
    BrokenQueue,
    Missing
};

// Dropped on the queue, or named on the command line before "last.nzb" (two
// more rows: every file named is opened).
const struct
{
    const char* pszName;
    const char* pszFile;
    EContent nContent;
    bool bDrop;
    int nQueued;
    const char* pszStatus;   // in the status window, %1 the file's path
    const char* pszFileName; // of the first row queued
    bool bBadNzb;            // the message box
} kOutsideRows[] = {
    {"nzb dropped", "in.NZB", Nzb, true, 2, "", "a.rar", false},
    {"nzb without segments dropped", "empty.nzb", NzbWithoutSegments, true, 0,
     "The NZB file lists no segments.", "", true},
    {"queue file dropped", "outside.DVQ", Queue, true, 2, "Queued 2 file(s) from %1", "from outside 1.bin",
     false},
    {"empty queue file dropped", "other.dvq", EmptyQueue, true, 0, "Queued 0 file(s) from %1", "", false},
    {"nzb on the command line", "a.nzb", Nzb, false, 4, "", "a.rar", false},
    {"bad nzb on the command line", "bad.nzb", BadNzb, false, 2, "", "a.rar", true},
    {"queue file on the command line", "outside.dvq", Queue, false, 4, "Queued 2 file(s) from %1",
     "from outside 1.bin", false},
    // What could be read before the break is not half queued.
    {"broken queue file on the command line", "broken.dvq", BrokenQueue, false, 2, "%1: ", "a.rar", false},
    {"missing queue file on the command line", "x.dvq", Missing, false, 2, "%1: ", "a.rar", false},
};

const struct
{
    const char* pszName;
    bool bClaimName;  // the stand-in service owns its name from the start
    bool bEnabled;    // "DesktopNotifications"
    bool bFailSecond; // the second download fails for good
    bool bDiskFull;   // two downloads report a full disk
} kNotifyRows[] = {
    {"queue done", true, true, false, false},
    {"final failure, then done", true, true, true, false},
    {"a full disk, told once", true, true, false, true},
    {"switched off", true, false, false, true},
    {"no service", false, true, false, false},
};
} // namespace

class DesktopTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<CGatewaySimulator> m_pGateway;

private slots:
    void initTestCase()
    {
        CDownloadOptions::SetFailureWaitMs(20);
        CGatewayOptions options;
        options.m_users = {{"user", "secret"}};
        options.m_groups.push_back(CGatewayGroup{kGroup, 4, 0, 50000, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        QVERIFY(m_pGateway->Start() != 0);
    }

    void cleanupTestCase()
    {
        m_pGateway->Stop();
        CDownloadOptions::Reset();
    }

    void filesFromOutsideJoinQueue_data() { AddRows(kOutsideRows); }

    void filesFromOutsideJoinQueue()
    {
        const auto& row = Row(kOutsideRows);
        CTestProgram program;
        program.WriteIni(kImportIni);
        const std::string strFile = program.Folder() + "/" + row.pszFile;
        const std::string strLast = program.Folder() + "/last.nzb";
        testsupport::WriteFile(strLast, kNzb);
        switch (row.nContent)
        {
        case Nzb:
            testsupport::WriteFile(strFile, kNzb);
            break;
        case NzbWithoutSegments:
            testsupport::WriteFile(strFile, "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\"/>");
            break;
        case BadNzb:
            testsupport::WriteFile(strFile, "<nzb");
            break;
        case EmptyQueue:
            testsupport::WriteFile(strFile, std::string(4, '\0'));
            break;
        case Queue:
        case BrokenQueue:
            WriteQueueFile(strFile);
            if (row.nContent == BrokenQueue)
                testsupport::WriteFile(strFile, testsupport::ReadFile(strFile).substr(0, 20));
            break;
        case Missing:
            break;
        }
        if (row.bDrop)
        {
            program.Start();
            // Onto the queue itself: the list passes the drop on to the window.
            QVERIFY(DropFile(program.View().ProgressListCtrl().viewport(), strFile));
        }
        else
            program.Start({strFile, strLast});

        CArticleList& progress = program.View().Progress();
        QCOMPARE(progress.GetItemCount(), row.nQueued);
        QCOMPARE(program.m_prompts.m_messages,
                 row.bBadNzb ? std::vector<std::string>{kBadNzb} : std::vector<std::string>());
        QVERIFY(
            QString::fromStdString(program.View().GetStatusText())
                .contains(QString::fromLatin1(row.pszStatus).replace("%1", QString::fromStdString(strFile))));
        if (row.nQueued == 0)
            return;
        QCOMPARE(progress.GetArticle(0)->m_strFileName, std::string(row.pszFileName));
        for (int i = 0; i < row.nQueued; ++i)
            QCOMPARE(progress.GetArticle(i)->m_nLists, int(ListProgress));
        if (row.nContent == Nzb)
        {
            const CArticle& b = *progress.GetArticle(1);
            QCOMPARE(b.m_strFileName + "|" + b.m_strDownloadPath, std::string("b.rar|/srv/news/"));
            QCOMPARE(b.m_nSize, 20);
            QCOMPARE(b.m_nState, int(StateQueued));
        }
    }

    void secondStartHandsFileToFirst_data()
    {
        QTest::addColumn<int>("nSignal");
        for (int nSignal : {SIGTERM, SIGINT, SIGHUP})
            QTest::newRow(strsignal(nSignal)) << nSignal;
    }

    // Two real programs on one data folder; the first is told to end by a signal.
    void secondStartHandsFileToFirst()
    {
        QFETCH(int, nSignal);
        CTestProgram program;
        program.WriteIni(CTestProgram::CompatibleIni("[Favorites]\nTotal=1\nNewsGroup1=alt.kept\n",
                                                     std::string(), "LoadQueue=0\nSaveQueue=1\n"));
        testsupport::TempDir files;
        const std::string strFile = files.File("handed.dvq");
        WriteQueueFile(strFile);
        const QString strFolder = QString::fromStdString(program.Folder());

        QProcess* pFirst = StartChild(this, DRAVELIN_PROGRAM, {QStringLiteral("--data-dir"), strFolder});
        QVERIFY(pFirst->waitForStarted());
        // The first start holds the folder before the second one comes.
        QVERIFY(WaitFor([&] { return QFile::exists(strFolder + QStringLiteral("/Dravelin.lock")); }));
        // The second start names the file relative to its own folder.
        QProcess* pSecond = StartChild(
            this, DRAVELIN_PROGRAM, {QStringLiteral("--data-dir"), strFolder, QStringLiteral("handed.dvq")},
            QString::fromStdString(files.Path().string()));
        QVERIFY(pSecond->waitForFinished(30000));
        QCOMPARE(pSecond->exitCode(), 0);
        QVERIFY(pSecond->readAllStandardError().contains("the files went to it"));
        // A start without files only brings the window to the front.
        QProcess* pThird = StartChild(this, DRAVELIN_PROGRAM, {QStringLiteral("--data-dir"), strFolder});
        QVERIFY(pThird->waitForFinished(30000));
        QCOMPARE(pThird->exitCode(), 0);
        QCOMPARE(pFirst->state(), QProcess::Running);

        // The first program queued the file: its queue file shows it at exit,
        // and the rest of its state is saved too.
        ::kill(static_cast<pid_t>(pFirst->processId()), nSignal);
        QVERIFY(pFirst->waitForFinished(30000));
        QCOMPARE(pFirst->exitStatus(), QProcess::NormalExit);
        QCOMPARE(pFirst->exitCode(), 0);
        QCOMPARE(program.Keys("Account", {"Active"}) + program.Keys("Favorites", {"Newsgroup1"}) +
                     program.Keys("Articles", {"Column4"}) + program.Keys("Progress", {"Column6"}) +
                     program.Keys("Dravelin", {"Maximized"}),
                 "Active=0Newsgroup1=alt.keptColumn4=364Column6=180Maximized=0");
        std::vector<ArticlePtr> saved;
        CQueueFile::ReadQueueFile(program.Folder() + "/Dravelin.dvq", saved);
        QCOMPARE(saved.size(), size_t(2));
        QCOMPARE(saved[1]->m_strSubject, std::string("from outside 2"));
        // The folder is free again.
        CSingleInstance instance(program.Folder());
        QVERIFY(instance.Lock());
    }

    void notificationsReachDesktop_data() { AddRows(kNotifyRows); }

    void notificationsReachDesktop()
    {
        const auto& row = Row(kNotifyRows);
        testsupport::TempDir busDir;
        CFakeSystemBus bus;
        if (!bus.Start(QString::fromStdString(busDir.Path().string())))
            QSKIP("dbus-daemon cannot be run here");
        if (row.bClaimName)
            QVERIFY(bus.ClaimNotifications());
        const std::vector<CGatewayArticle> served = m_pGateway->Articles(kGroup);
        if (row.bFailSecond)
        {
            CGatewayFault fault;
            fault.m_nStatus = 503;
            m_pGateway->SetArticleFault(kGroup, served[1].m_nIndex, fault);
        }

        CTestProgram program;
        const std::string strFolder = program.Folder() + "/dl/";
        std::filesystem::create_directories(strFolder);
        // The clean-ups of a full disk stay off: no test empties a real trash.
        program.StartWith(
            CTestProgram::AccountIni(m_pGateway->HostPort(), 1),
            std::string(
                "LoadQueue=0\nSaveQueue=0\nMaxRetries=0\nDeleteTempInet=0\nEmptyRecycleBin=0\nDefaultPath=") +
                strFolder + "\nDesktopNotifications=" + (row.bEnabled ? "1" : "0") + "\n");
        CDesktopNotifier& notifier = program.View().Downloads().Notifier();
        notifier.SetBusAddress(bus.Address());
        for (int i = 0; row.bDiskFull && i < 2; ++i)
            program.View().SinkPtr()->PostMessage(CViewMessage{WM_DISK_FULL, 0, nullptr, {}});
        CDownloadScheduler& scheduler = program.View().Downloads().Scheduler();
        std::vector<ArticlePtr> queued;
        int64_t nBytes = 0;
        for (size_t i = 0; i < 2; ++i)
        {
            auto pArticle = MakeArticle(served[i].m_strSubject, "a", "01/01", int(served[i].m_nSize));
            pArticle->m_nService = 1;
            pArticle->m_strDecodeQuery = served[i].m_strDecodeQuery;
            scheduler.QueueArticle(pArticle, -1, strFolder);
            queued.push_back(pArticle);
            if (!row.bFailSecond || i == 0)
                nBytes += served[i].m_nSize;
        }
        QVERIFY(WaitFor([&] { return StateOf(queued[0]) == StateDone && StateOf(queued[1]) >= StateDone; }));
        QVERIFY(WaitFor([&] { return scheduler.GetActiveDownloads() == 0; }));
        m_pGateway->ClearFaults();

        // A last notice on the same connection arrives after any earlier one.
        if (!row.bClaimName)
            QVERIFY(bus.ClaimNotifications());
        notifier.SetEnabled(true);
        QVERIFY(notifier.Notify(QStringLiteral("marker"), QString()));
        QVERIFY(WaitFor(
            [&] { return !bus.Notifications().empty() && bus.Notifications().back().first == "marker"; }));
        std::vector<std::pair<QString, QString>> got = bus.Notifications();
        got.pop_back();

        std::vector<std::pair<QString, QString>> expected;
        if (row.bClaimName && row.bEnabled)
        {
            if (row.bDiskFull)
                expected.emplace_back(
                    QStringLiteral("Disk full"),
                    QStringLiteral("There is not enough space on the disk for the downloads."));
            if (row.bFailSecond)
                expected.emplace_back(
                    QStringLiteral("Download failed"),
                    QString::fromStdString(served[1].m_strSubject).toHtmlEscaped() + QLatin1Char('\n') +
                        QString::fromStdString(queued[1]->GetTransfer().m_strLastError).toHtmlEscaped());
            expected.emplace_back(QStringLiteral("Downloads finished"),
                                  CDesktopNotifier::QueueDoneBody(row.bFailSecond ? 1 : 2, nBytes));
        }
        QCOMPARE(got, expected);
        if (row.bFailSecond)
            QVERIFY(!queued[1]->GetTransfer().m_strLastError.empty());
    }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
