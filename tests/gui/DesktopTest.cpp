// The program as a desktop citizen: files from outside and the hand-off of a
// second start, desktop notifications over a private session bus, and the
// polish of the two lists and the status window.

#include "FakeSystemBus.h"
#include "GuiTestSupport.h"

#include "app/DialogController.h"
#include "app/DownloadController.h"
#include "app/SingleInstance.h"
#include "dialogs/PreferencesDlg.h"
#include "download/DownloadOptions.h"
#include "gateway/GatewaySimulator.h"
#include "model/QueueFile.h"
#include "system/DesktopNotifier.h"
#include "ui/MessageSink.h"

#include <QDBusConnection>

using namespace guitest;

namespace
{
constexpr const char* kGroup = "alt.binaries.desktop";

int32_t StateOf(const ArticlePtr& pArticle)
{
    std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
    return pArticle->m_nState;
}

// A queue file of two finished articles (they load without starting).
void WriteQueueFile(const std::string& strPath)
{
    std::vector<ArticlePtr> articles;
    for (const char* pszSubject : {"from outside 1", "from outside 2"})
        articles.push_back(MakeArticle(pszSubject, "a", "01/01", 10, StateDone));
    QVERIFY(CQueueFile::SaveQueueFile(strPath, articles));
}

QProcess* StartProgram(QObject* pParent, const QStringList& args, const QString& strWorkingFolder = {})
{
    auto* pChild = new QProcess(pParent);
    pChild->setWorkingDirectory(strWorkingFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    pChild->setProcessEnvironment(env);
    pChild->start(QStringLiteral(DRAVELIN_PROGRAM), args);
    return pChild;
}

const struct
{
    const char* pszName;
    int nState;
    const char* pszLastError;
    const char* pszTip; // null: no tooltip
} kTipRows[] = {
    {"listed has no image", StateListed, "", nullptr},
    {"queued", StateQueued, "", "Queued"},
    {"downloading", StateDownloading, "", "Downloading"},
    {"failed with its reason", StateFailed, "HTTP status 503", "Failed: HTTP status 503"},
    {"failed without a reason", StateFailed, "", "Failed"},
    {"retried and done", StateDone, "HTTP status 503", "Done"},
    {"stopped at exit", StateShutdown, "", "Stopped at exit"},
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

    void stateImageTooltips_data() { AddRows(kTipRows); }

    void stateImageTooltips()
    {
        const auto& row = Row(kTipRows);
        CTestProgram program;
        program.StartWith();
        auto pArticle = MakeArticle("subject", "a", "01/01", 10, row.nState);
        pArticle->Transfer().m_strLastError = row.pszLastError;
        pArticle->m_nLists = ListArticles | ListProgress;
        program.View().Articles().AddArticleRow(pArticle);
        program.View().Progress().AddArticleRow(pArticle);
        // Both lists show the state image, so both name it.
        for (CArticleListCtrl* pList :
             {&program.View().ArticleListCtrl(), &program.View().ProgressListCtrl()})
        {
            const QVariant tip = pList->model()->index(0, 0).data(Qt::ToolTipRole);
            QCOMPARE(tip.isValid(), row.pszTip != nullptr);
            if (row.pszTip)
                QCOMPARE(tip.toString(), QString::fromLatin1(row.pszTip));
        }
    }

    void sortedColumnShowsArrow()
    {
        CTestProgram program;
        program.StartWith();
        CDravelinView& view = program.View();
        int nSize = 3;
        for (const char* pszDate : {"03/01", "01/01", "02/01"})
            AddListed(view, MakeArticle("s", "a", pszDate, 1000 * nSize--));
        CArticleListCtrl& list = view.ArticleListCtrl();
        QHeaderView* pHeader = list.header();
        auto click = [pHeader](int nColumn)
        {
            const QPoint pt(pHeader->sectionViewportPosition(nColumn) + pHeader->sectionSize(nColumn) / 2,
                            pHeader->height() / 2);
            QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier, pt);
        };
        QVERIFY(!pHeader->isSortIndicatorShown());
        // Size, Size, Date: ascending, descending, then the new column ascending.
        const struct
        {
            int nColumn;
            Qt::SortOrder order;
            QStringList sizes;
        } clicks[] = {{3, Qt::AscendingOrder, {"1.0k", "2.0k", "3.0k"}},
                      {3, Qt::DescendingOrder, {"3.0k", "2.0k", "1.0k"}},
                      {1, Qt::AscendingOrder, {"2.0k", "1.0k", "3.0k"}}};
        for (const auto& step : clicks)
        {
            click(step.nColumn);
            QVERIFY(pHeader->isSortIndicatorShown());
            QCOMPARE(pHeader->sortIndicatorSection(), step.nColumn);
            QCOMPARE(pHeader->sortIndicatorOrder(), step.order);
            QCOMPARE(Column(list, 3), step.sizes);
        }
        // A new row breaks the order, and the arrow goes.
        AddListed(view, MakeArticle("late"));
        QVERIFY(!pHeader->isSortIndicatorShown());
        // The progress list does not sort, so it never shows one.
        view.ProgressListCtrl().OnColumnClick(1);
        QVERIFY(!view.ProgressListCtrl().header()->isSortIndicatorShown());
    }

    void columnsFitTextsAndReachTheEdge()
    {
        CTestProgram program;
        program.StartWith("[Progress]\nColumn5=33\n");
        program.Frame().resize(1600, 700);
        QApplication::processEvents();
        CDravelinView& view = program.View();
        auto pArticle = MakeArticle("s", "a", "01/01", 10, StateDownloading);
        pArticle->Transfer().m_fSpeed = 12345.6f;
        pArticle->Transfer().m_strTimeLeft = "12:34:56";
        AddListed(view, pArticle, true);
        CArticleListCtrl& progress = view.ProgressListCtrl();
        const QFontMetrics metrics(progress.font());
        QHeaderView* pProgressHeader = progress.header();
        const int nHeaderMargin =
            2 * pProgressHeader->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, pProgressHeader);
        for (int nColumn : {3, 4})
        {
            // Neither the title nor the text is cut.
            const QString strTitle = progress.model()->headerData(nColumn, Qt::Horizontal).toString();
            QVERIFY(pProgressHeader->sectionSize(nColumn) >=
                    pProgressHeader->fontMetrics().horizontalAdvance(strTitle) + nHeaderMargin);
            const QModelIndex index = progress.model()->index(0, nColumn);
            QVERIFY(progress.visualRect(index).width() > metrics.horizontalAdvance(index.data().toString()));
        }
        // A width the user chose is kept.
        QCOMPARE(progress.header()->sectionSize(5), 33);
        for (CArticleListCtrl* pList : {&view.ArticleListCtrl(), &progress})
        {
            QHeaderView* pHeader = pList->header();
            const int nLast = pHeader->count() - 1;
            QCOMPARE(pHeader->sectionViewportPosition(nLast) + pHeader->sectionSize(nLast),
                     pList->viewport()->width());
        }
    }

    void statusWindowKeepsNewestLines()
    {
        CTestProgram program;
        program.StartWith();
        CDravelinView& view = program.View();
        const int nLines = CDravelinView::kMaxStatusLines + 5;
        for (int i = 0; i < nLines; ++i)
            view.AppendStatusLine("line " + std::to_string(i));
        const QStringList lines = QString::fromStdString(view.GetStatusText()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), CDravelinView::kMaxStatusLines);
        QCOMPARE(lines.front(), QStringLiteral("line 5"));
        QCOMPARE(lines.back(), QStringLiteral("line %1").arg(nLines - 1));
    }

    void queueFileFromOutsideJoinsQueue_data()
    {
        QTest::addColumn<bool>("bDrop");
        QTest::addColumn<bool>("bBroken");
        QTest::newRow("command line") << false << false;
        QTest::newRow("dropped") << true << false;
        QTest::newRow("broken file") << false << true;
    }

    void queueFileFromOutsideJoinsQueue()
    {
        QFETCH(bool, bDrop);
        QFETCH(bool, bBroken);
        testsupport::TempDir dir;
        testsupport::WriteFile(dir.File("Dravelin.ini"), CTestProgram::CompatibleIni());
        const std::string strFile = dir.File("outside.DVQ");
        WriteQueueFile(strFile);
        if (bBroken)
            testsupport::WriteFile(strFile, testsupport::ReadFile(strFile).substr(0, 20));
        testsupport::FakePrompts prompts;
        CDravelinApp app;
        std::vector<std::string> args = {"--data-dir", dir.Path().string()};
        if (!bDrop)
            args.push_back(strFile);
        QVERIFY(app.InitInstance(CDravelinApp::ParseCommandLine(args), &prompts));
        if (bDrop)
        {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(strFile))});
            QWidget* pTarget = app.View()->ProgressListCtrl().viewport();
            const QPoint pt = pTarget->rect().center();
            QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(pTarget, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(pt), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(pTarget, &drop);
            QApplication::processEvents();
        }
        CArticleList& progress = app.View()->Progress();
        const std::string strStatus = app.View()->GetStatusText();
        if (bBroken)
        {
            // What could be read before the break is not half queued.
            QVERIFY(strStatus.find(strFile + ": ") != std::string::npos);
            QCOMPARE(progress.GetItemCount(), 0);
        }
        else
        {
            QCOMPARE(Subjects(progress), std::vector<std::string>({"from outside 1", "from outside 2"}));
            QCOMPARE(progress.GetArticle(1)->m_nLists, int(ListProgress));
            QVERIFY(strStatus.find("Queued 2 file(s) from " + strFile) != std::string::npos);
        }
        QVERIFY(prompts.m_messages.empty());
        app.ExitInstance();
    }

    // Two real programs on one data folder.
    void secondStartHandsFileToFirst()
    {
        CTestProgram program;
        program.WriteIni(
            CTestProgram::CompatibleIni(std::string(), std::string(), "LoadQueue=0\nSaveQueue=1\n"));
        testsupport::TempDir files;
        const std::string strFile = files.File("handed.dvq");
        WriteQueueFile(strFile);
        const QString strFolder = QString::fromStdString(program.Folder());

        QProcess* pFirst = StartProgram(this, {QStringLiteral("--data-dir"), strFolder});
        QVERIFY(pFirst->waitForStarted());
        // The first start holds the folder before the second one comes.
        QVERIFY(WaitFor([&] { return QFile::exists(strFolder + QStringLiteral("/Dravelin.lock")); }));
        // The second start names the file relative to its own folder.
        QProcess* pSecond =
            StartProgram(this, {QStringLiteral("--data-dir"), strFolder, QStringLiteral("handed.dvq")},
                         QString::fromStdString(files.Path().string()));
        QVERIFY(pSecond->waitForFinished(30000));
        QCOMPARE(pSecond->exitCode(), 0);
        QVERIFY(pSecond->readAllStandardError().contains("the files went to it"));
        // A start without files only brings the window to the front.
        QProcess* pThird = StartProgram(this, {QStringLiteral("--data-dir"), strFolder});
        QVERIFY(pThird->waitForFinished(30000));
        QCOMPARE(pThird->exitCode(), 0);
        QCOMPARE(pFirst->state(), QProcess::Running);

        // The first program queued the file: its queue file shows it at exit.
        pFirst->terminate();
        QVERIFY(pFirst->waitForFinished(30000));
        QCOMPARE(pFirst->exitCode(), 0);
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
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 1),
                          std::string("LoadQueue=0\nSaveQueue=0\nMaxRetries=0\nDeleteTempInet=0\n"
                                      "EmptyRecycleBin=0\nDefaultPath=") +
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
                expected.emplace_back(QStringLiteral("Download failed"),
                                      QString::fromStdString(served[1].m_strSubject).toHtmlEscaped() +
                                          QLatin1Char('\n') +
                                          QString::fromStdString(queued[1]->GetTransfer().m_strLastError).toHtmlEscaped());
            expected.emplace_back(QStringLiteral("Downloads finished"),
                                  CDesktopNotifier::QueueDoneBody(row.bFailSecond ? 1 : 2, nBytes));
        }
        QCOMPARE(got, expected);
        if (row.bFailSecond)
            QVERIFY(!queued[1]->GetTransfer().m_strLastError.empty());
    }

    void preferencesCheckBoxSwitchesNotifications()
    {
        CTestProgram program;
        program.StartWith();
        CDesktopNotifier& notifier = program.View().Downloads().Notifier();
        QVERIFY(notifier.IsEnabled());
        auto* pController = program.View().findChild<CDialogController*>();
        QVERIFY(pController);
        bool bShownChecked = false;
        pController->m_fnRunDialog = [&](QDialog& dlg)
        {
            auto& sheet = dynamic_cast<CPreferencesDlg&>(dlg);
            bShownChecked = sheet.NotificationsCheck()->isChecked();
            sheet.NotificationsCheck()->click();
            // Outside the four pages, which stay as they are.
            return sheet.Tabs()->count() >= 4 && !sheet.Tabs()->isAncestorOf(sheet.NotificationsCheck());
        };
        program.Frame().OnCommand(ID_FILE_PREFERENCES);
        QVERIFY(bShownChecked);
        QVERIFY(!notifier.IsEnabled());
        QCOMPARE(program.GetInt("Preferences", "DesktopNotifications"), 0);
        // Read back at the next start.
        program.Stop();
        program.Start();
        QVERIFY(!program.View().Downloads().Notifier().IsEnabled());
    }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
