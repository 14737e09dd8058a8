// The download side of the main window against the in-process gateway
// simulator: queueing, "Download to", the progress list, Pause, the byte
// counter, the queue across a restart and closing while downloads run.

#include "GuiTestSupport.h"

#include "app/DownloadController.h"
#include "dialogs/DownloadToDlg.h"
#include "download/DownloadOptions.h"
#include "gateway/GatewaySimulator.h"
#include "lists/ProgressBarDelegate.h"
#include "model/QueueDocument.h"

using namespace guitest;

namespace
{
constexpr const char* kGroup = "dl.test";
constexpr const char* kAskRemoveQueued =
    "Article is queued for downloading.\nAre you sure you want to remove it from the queue?";

bool AllIn(const std::vector<ArticlePtr>& articles, int nState)
{
    for (const ArticlePtr& pArticle : articles)
        if (StateOf(pArticle) != nState)
            return false;
    return true;
}

// Rows of listed (complete) articles, every nStep-th of them: the corpus also
// lists incomplete articles, which cannot be downloaded.
std::vector<int> ListedRows(CArticleList& list, size_t nCount, int nStep = 1)
{
    std::vector<int> rows;
    int nSeen = 0;
    for (int i = 0; i < list.GetItemCount() && rows.size() < nCount; ++i)
        if (StateOf(list.GetArticle(i)) == StateListed && nSeen++ % nStep == 0)
            rows.push_back(i);
    return rows;
}

// Queues nCount listed articles with "&Download"; the rows they got.
std::vector<ArticlePtr> Download(CDravelinView& view, size_t nCount, int nStep = 1)
{
    const size_t nFirst = size_t(view.Progress().GetItemCount());
    SelectOnly(view.Articles(), ListedRows(view.Articles(), nCount, nStep));
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    std::vector<ArticlePtr> rows;
    for (size_t i = nFirst; i < size_t(view.Progress().GetItemCount()); ++i)
        rows.push_back(view.Progress().GetArticle(int(i)));
    return rows;
}

bool Enabled(CDravelinView& view, int nId)
{
    CCmdUI ui;
    return view.OnUpdateCommand(nId, ui), ui.m_bEnabled;
}

QToolButton* PauseButton(CDravelinView& view)
{
    for (QToolButton* pButton : view.findChildren<QToolButton*>())
        if (pButton->isCheckable())
            return pButton;
    return nullptr;
}

// A queued row of the progress list, as the queue file would bring it back.
ArticlePtr AddProgressRow(CDravelinView& view, const std::string& strSubject, int32_t nState)
{
    ArticlePtr pArticle = MakeArticle(strSubject, "author", "01/01", 1000, nState);
    pArticle->m_nService = 1;
    pArticle->m_nLists = ListProgress;
    pArticle->m_strDownloadPath = "/old/";
    view.Progress().AddArticleRow(pArticle);
    return pArticle;
}
} // namespace

const struct
{
    const char* pszName;
    int nState, nSize;
    int64_t nReceived;
    int nPercent;
} kPercentRows[] = {{"never started", StateQueued, 1000, 0, -1},
                    {"half way", StateDownloading, 1000, 500, 50},
                    {"rounded down", StateDownloading, 3, 2, 66},
                    {"large file", StateDownloading, 734003200, 734003199, 99},
                    {"failed keeps its part", StateFailed, 1000, 250, 25},
                    {"no size", StateDownloading, 0, 10, -1},
                    {"more than the size", StateDownloading, 100, 150, 100},
                    {"done", StateDone, 1000, 0, 100}};

class DownloadTest : public QObject
{
    Q_OBJECT

public slots:
    // The "open" of a finished file, caught instead of starting a program.
    void openUrl(const QUrl& url) { m_opened.push_back(url.toLocalFile()); }

private:
    // Starts the program on the gateway's accounts, downloads into Folder()/dl/.
    void Start(CTestProgram& program, const std::string& strPreferences, bool bQueueFile = false);
    // Lists the test group into the article list.
    void ListGroup(CTestProgram& program);
    // Start, then ListGroup.
    CDravelinView& StartListed(CTestProgram& program, const std::string& strPreferences,
                               const CGatewayFault& fault = CGatewayFault{})
    {
        m_pGateway->SetDefaultFault(fault);
        Start(program, strPreferences);
        ListGroup(program);
        return program.View();
    }
    std::string DownloadFolder(const CTestProgram& program) const { return program.Folder() + "/dl/"; }

    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::vector<QString> m_opened;

private slots:
    void initTestCase()
    {
        CDownloadOptions::SetFailureWaitMs(20);
        CGatewayOptions options;
        options.m_users = {{"user", "secret"}};
        options.m_nArticles = 10;
        options.m_nStallLimitMs = 5000;
        options.m_groups.push_back(CGatewayGroup{kGroup, 12, 0, 200000, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        QVERIFY(m_pGateway->Start() != 0);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        m_pGateway->Stop();
        CDownloadOptions::Reset();
    }

    void init()
    {
        m_pGateway->ClearFaults();
        m_pGateway->SetDefaultFault(CGatewayFault{});
        m_opened.clear();
    }

    void threeSelectedArticlesDownloadIntoFolder()
    {
        CTestProgram program;
        CDravelinView& view = StartListed(program, "");
        QVERIFY(!Enabled(view, ID_ARTICLE_DOWNLOAD));
        SelectOnly(view.Articles(), {0});
        QVERIFY(Enabled(view, ID_ARTICLE_DOWNLOAD));
        const std::vector<ArticlePtr> queued = Download(view, 3, 2);
        QCOMPARE(queued.size(), size_t(3));
        QVERIFY(WaitFor([&] { return AllIn(queued, StateDone); }));
        QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
        for (const ArticlePtr& pArticle : queued)
        {
            std::vector<CGatewayArticle> gateway = m_pGateway->Articles(kGroup);
            auto it = std::find_if(gateway.begin(), gateway.end(),
                                   [&](const CGatewayArticle& g)
                                   { return g.m_strDecodeQuery == pArticle->m_strDecodeQuery; });
            QVERIFY(it != gateway.end());
            QCOMPARE(pArticle->m_strDownloadPath, DownloadFolder(program));
            QCOMPARE(pArticle->m_strSavedName, m_pGateway->ServedFileName(*it));
            const std::string strBody =
                testsupport::ReadFile(DownloadFolder(program) + pArticle->m_strSavedName);
            QVERIFY(strBody == m_pGateway->ExpectedBody(*it));
            // The worker counted every byte it wrote.
            QCOMPARE(pArticle->GetTransfer().m_nReceived.load(), it->m_nSize);
        }

        // Asked again from the article list, a finished article asks first.
        program.m_prompts.m_answers = {false};
        SelectOnly(view.Articles(), {view.Articles().FindArticleRow(queued[1].get())});
        view.OnCommand(ID_ARTICLE_DOWNLOAD);
        QCOMPARE(program.m_prompts.m_questions,
                 std::vector<std::string>(
                     {"Article was downloaded successfully.\nDo you want to download it again?"}));
        QCOMPARE(StateOf(queued[1]), int(StateDone));

        // A double-click on the finished row opens its file.
        SelectOnly(view.Progress(), {view.Progress().FindArticleRow(queued[1].get())});
        view.Downloads().OnProgressDoubleClick();
        QCOMPARE(m_opened, std::vector<QString>({QString::fromStdString(DownloadFolder(program) +
                                                                        queued[1]->m_strSavedName)}));
        QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
    }

    void progressDoubleClickActsByState()
    {
        CTestProgram program;
        // Nothing may start: the rows keep the states set here.
        Start(program, "MaxDownloads=0\n");
        CDravelinView& view = program.View();
        std::vector<ArticlePtr> rows;
        for (const auto& [pszSubject, nState] : {std::pair("queued a", StateQueued),
                                                 {"queued b", StateQueued},
                                                 {"incomplete", StateIncomplete},
                                                 {"exported", StateExported},
                                                 {"failed", StateFailed},
                                                 {"last", StateQueued}})
            rows.push_back(AddProgressRow(view, pszSubject, nState));

        // Two adjacent queued rows: No keeps the first, Yes removes the second.
        program.m_prompts.m_answers = {false, true};
        SelectOnly(view.Progress(), {0, 1});
        view.Downloads().OnProgressDoubleClick();
        QCOMPARE(program.m_prompts.m_questions,
                 std::vector<std::string>({kAskRemoveQueued, kAskRemoveQueued}));
        QCOMPARE(Subjects(view.Progress()),
                 std::vector<std::string>({"queued a", "incomplete", "exported", "failed", "last"}));
        QCOMPARE(StateOf(rows[1]), int(StateListed));
        QCOMPARE(rows[1]->m_nLists & ListProgress, 0);
        QCOMPARE(StateOf(rows[0]), int(StateQueued));

        // Incomplete: the message only; exported: asked, Yes queues it again;
        // failed: queued again without a question. Both go to the end with the
        // default folder.
        program.m_prompts.m_questions.clear();
        program.m_prompts.m_answers = {true};
        SelectOnly(view.Progress(), {1, 2, 3});
        view.Downloads().OnProgressDoubleClick();
        QCOMPARE(program.m_prompts.m_messages,
                 std::vector<std::string>({"Article is incomplete. It cannot be downloaded!"}));
        QCOMPARE(program.m_prompts.m_questions,
                 std::vector<std::string>(
                     {"Article was copied to Clipboard.\nDo you want to download it again?"}));
        QCOMPARE(Subjects(view.Progress()),
                 std::vector<std::string>({"queued a", "incomplete", "last", "exported", "failed"}));
        for (const ArticlePtr& pArticle : {rows[3], rows[4]})
        {
            QCOMPARE(StateOf(pArticle), int(StateQueued));
            QCOMPARE(pArticle->m_strDownloadPath, DownloadFolder(program));
        }
        QCOMPARE(StateOf(rows[2]), int(StateIncomplete));
        QVERIFY(m_opened.empty());
    }

    void downloadToProposesFolderAndCreatesIt()
    {
        CTestProgram program;
        Start(program, "MaxDownloads=0\nDoNotQueue=1\nDownloadManager=1\n");
        const std::string strDefault = DownloadFolder(program);
        CDravelinView& view = program.View();
        for (const char* pszSubject : {"zero", "  first subject \t", "second", "third"})
        {
            ArticlePtr pArticle = MakeArticle(pszSubject);
            pArticle->m_nService = 1;
            pArticle->m_nLists = ListArticles;
            view.Articles().AddArticleRow(pArticle);
        }
        SelectOnly(view.Articles(), {3, 1, 2});
        // Enabling: a selection, and DoNotQueue off or GetRight.
        const std::vector<int> ids = {ID_ARTICLE_DOWNLOADTO, ID_ARTICLE_DOWNLOADTONEWSGROUP,
                                      ID_ARTICLE_DOWNLOADTOSUBJECT};
        for (int nId : ids)
            QVERIFY(!Enabled(view, nId));
        QVERIFY(Enabled(view, ID_ARTICLE_DOWNLOAD));
        {
            CPreferences& settings = program.Doc().m_settings;
            std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
            settings.m_nDownloadManager = 4;
        }
        for (int nId : ids)
            QVERIFY(Enabled(view, nId));
        program.Doc().m_settings.m_bDoNotQueue = 0;
        // "&Start Downloading" needs rows and MaxDownloads above 0.
        QVERIFY(!Enabled(view, ID_QUEUE_STARTDOWNLOADING));

        QString strProposed;
        view.Downloads().SetDialogRunner(
            [&](CDownloadToDlg& dlg)
            {
                strProposed = dlg.PathEdit()->text();
                return dlg.OnOK();
            });
        // No to the creation question keeps the dialog open: nothing queued.
        program.m_prompts.m_answers = {false};
        view.OnCommand(ID_ARTICLE_DOWNLOADTOSUBJECT);
        QCOMPARE(strProposed.toStdString(), strDefault + "first subject");
        QCOMPARE(program.m_prompts.m_questions,
                 std::vector<std::string>(
                     {"'" + strDefault + "first subject/' does not exist.\nDo you want to create it?"}));
        QCOMPARE(view.Progress().GetItemCount(), 0);
        QVERIFY(!std::filesystem::exists(strDefault + "first subject"));

        program.m_prompts.m_answers = {true};
        view.OnCommand(ID_ARTICLE_DOWNLOADTOSUBJECT);
        QVERIFY(std::filesystem::is_directory(strDefault + "first subject"));
        QCOMPARE(view.Progress().GetItemCount(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(view.Progress().GetArticle(i)->m_strDownloadPath, strDefault + "first subject/");
        QVERIFY(!Enabled(view, ID_QUEUE_STARTDOWNLOADING));

        // The newsgroup variant proposes the trimmed group name.
        program.Frame().NewsgroupBox()->setEditText(QStringLiteral("  alt.binaries.x  "));
        view.Downloads().SetDialogRunner(
            [&](CDownloadToDlg& dlg)
            {
                strProposed = dlg.PathEdit()->text();
                return false;
            });
        view.OnCommand(ID_ARTICLE_DOWNLOADTONEWSGROUP);
        QCOMPARE(strProposed.toStdString(), strDefault + "alt.binaries.x");
    }

    void downloadToDialogRules()
    {
        testsupport::TempDir dir;
        testsupport::FakePrompts prompts;
        CDownloadToDlg dlg(prompts);
        const std::string strBase = dir.Path().string();

        // An existing folder, typed with blanks and without the separator:
        // no question, the separator is added.
        dlg.PathEdit()->setText(QString::fromStdString("  " + strBase + "  "));
        QVERIFY(dlg.OnOK());
        QCOMPARE(dlg.m_strFolder, strBase + "/");
        QVERIFY(prompts.m_questions.empty());

        // "&Browse..." starts on the text without its trailing separator.
        dlg.UpdateData();
        QCOMPARE(dlg.BrowseStartFolder().toStdString(), strBase);

        // Only one level is created: a missing parent fails and the dialog stays.
        dlg.PathEdit()->setText(QString::fromStdString(strBase + "/missing/child"));
        prompts.m_answers = {true};
        QVERIFY(!dlg.OnOK());
        QCOMPARE(prompts.m_messages, std::vector<std::string>({"Failed to create directory!"}));
        QVERIFY(!std::filesystem::exists(strBase + "/missing"));

        // The process's current folder is left alone.
        const std::filesystem::path cwd = std::filesystem::current_path();
        dlg.PathEdit()->setText(QString::fromStdString(strBase + "/made/"));
        prompts.m_answers = {true};
        QVERIFY(dlg.OnOK());
        QVERIFY(std::filesystem::is_directory(strBase + "/made"));
        QCOMPARE(std::filesystem::current_path(), cwd);
    }

    void moveToTopUpAndDown()
    {
        CTestProgram program;
        Start(program, "MaxDownloads=0\n");
        CDravelinView& view = program.View();
        for (const char* pszSubject : {"a", "b", "c", "d", "e", "f"})
            AddProgressRow(view, pszSubject, StateQueued);
        CArticleList& progress = view.Progress();
        auto order = [&progress]
        {
            std::string strOrder;
            for (const std::string& str : Subjects(progress))
                strOrder += str;
            return strOrder;
        };

        SelectOnly(progress, {2, 5});
        QVERIFY(!Enabled(view, ID_PROGRESS_MOVETOTOP));
        view.OnCommand(IDC_UP);
        QCOMPARE(order(), std::string("acbdfe"));
        QVERIFY(progress.IsSelected(1) && progress.IsSelected(4));
        // The top row cannot go up, nor the last one down.
        SelectOnly(progress, {0, 5});
        view.OnCommand(IDC_UP);
        view.OnCommand(IDC_DOWN);
        QCOMPARE(order(), std::string("acbdfe"));
        SelectOnly(progress, {1});
        view.OnCommand(IDC_DOWN);
        QCOMPARE(order(), std::string("abcdfe"));
        SelectOnly(progress, {4});
        QVERIFY(Enabled(view, ID_PROGRESS_MOVETOTOP));
        view.OnCommand(ID_PROGRESS_MOVETOTOP);
        QCOMPARE(order(), std::string("fabcde"));
        SelectOnly(progress, {1, 2});
        QVERIFY(Enabled(view, ID_PROGRESS_REMOVE));
        view.OnCommand(ID_PROGRESS_REMOVE);
        QCOMPARE(order(), std::string("fcde"));

        // "Edit Download &Path" gives the queued rows the dialog's folder.
        testsupport::TempDir dir;
        view.Downloads().SetDialogRunner(
            [&](CDownloadToDlg& dlg)
            {
                dlg.PathEdit()->setText(QString::fromStdString(dir.Path().string()));
                return dlg.OnOK();
            });
        SelectOnly(progress, {0, 3});
        view.OnCommand(ID_PROGRESS_EDITPATH);
        QCOMPARE(progress.GetArticle(0)->m_strDownloadPath, dir.Path().string() + "/");
        QCOMPARE(progress.GetArticle(3)->m_strDownloadPath, dir.Path().string() + "/");
        QCOMPARE(progress.GetArticle(1)->m_strDownloadPath, std::string("/old/"));

        QVERIFY(Enabled(view, ID_QUEUE_CLEAR));
        view.OnCommand(ID_QUEUE_CLEAR);
        QCOMPARE(progress.GetItemCount(), 0);
        QVERIFY(!Enabled(view, ID_QUEUE_CLEAR));
    }

    void progressBarPercent_data() { AddRows(kPercentRows); }

    void progressBarPercent()
    {
        const auto& row = Row(kPercentRows);
        ArticlePtr pArticle = MakeArticle("bar", "author", "01/01", row.nSize, row.nState);
        pArticle->Transfer().m_nReceived = row.nReceived;
        QCOMPARE(CProgressBarDelegate::Percent(*pArticle), row.nPercent);
    }

    void pauseAndDailyLimitHoldQueue()
    {
        CTestProgram program;
        Start(program, "");
        CDravelinView& view = program.View();
        CDailyCounter& counter = view.Downloads().Counter();
        auto* pBytes = view.findChild<QLabel*>(QStringLiteral("BytesToday"));
        auto* pReset = view.findChild<QLabel*>(QStringLiteral("ResetAt"));
        QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());
        QCOMPARE(pReset->text().toStdString(), counter.GetResetText());
        // Timer 1 runs towards the next reset, at most a day away.
        const int64_t nPeriod = view.Downloads().Clock().GetPeriod(CDailyCounter::kTimerId);
        QVERIFY(nPeriod > 0 && nPeriod <= CDailyCounter::kDayMs);
        ListGroup(program);
        QToolButton* pPause = PauseButton(view);
        QVERIFY(pPause != nullptr);
        QTest::mouseClick(pPause, Qt::LeftButton);
        QVERIFY(pPause->isChecked());
        QVERIFY(view.Downloads().Scheduler().IsPaused());

        size_t nRequests = m_pGateway->RequestCount();
        const std::vector<ArticlePtr> held = Download(view, 2);
        QTest::qWait(200);
        QCOMPARE(m_pGateway->RequestCount(), nRequests);
        QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
        QVERIFY(AllIn(held, StateQueued));
        QTest::mouseClick(pPause, Qt::LeftButton);
        QVERIFY(!pPause->isChecked());
        QVERIFY(WaitFor([&] { return AllIn(held, StateDone); }));

        // A NewsGuy Extra article one byte larger than what is left of the allowance.
        const ArticlePtr pArticle = view.Articles().GetArticle(ListedRows(view.Articles(), 1)[0]);
        pArticle->m_nService = 2;
        QVERIFY(counter.AddToDailyCounter(*pArticle, true)); // within the allowance: counted
        counter.m_nBytesToday = 1000;
        counter.m_nMaxBytes = 1000 + static_cast<uint32_t>(pArticle->m_nSize) - 1;
        nRequests = m_pGateway->RequestCount();
        QCOMPARE(Download(view, 1), std::vector<ArticlePtr>({pArticle}));
        // Refused: the scheduler presses Pause and the article waits, uncounted.
        QVERIFY(pPause->isChecked());
        QCOMPARE(StateOf(pArticle), int(StateQueued));
        QCOMPARE(counter.m_nBytesToday, 1000u);
        QCOMPARE(m_pGateway->RequestCount(), nRequests);

        // Ignoring the limit does not release Pause by itself; releasing it starts the article.
        CCmdUI ui;
        view.OnUpdateCommand(ID_TOOLS_IGNORELIMIT, ui);
        QVERIFY(!ui.m_bChecked);
        view.OnCommand(ID_TOOLS_IGNORELIMIT);
        view.OnUpdateCommand(ID_TOOLS_IGNORELIMIT, ui);
        QVERIFY(ui.m_bChecked && counter.IsIgnoringLimit());
        QVERIFY(pPause->isChecked());
        QTest::mouseClick(pPause, Qt::LeftButton);
        QVERIFY(WaitFor([&] { return StateOf(pArticle) == StateDone; }));
        QCOMPARE(counter.m_nBytesToday, 1000u + static_cast<uint32_t>(pArticle->m_nSize));
        QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());

        // The daily reset clears the count, and the next one is a day later.
        const QString strCounted = pBytes->text();
        counter.OnTimer(CDailyCounter::kTimerId);
        QCOMPARE(counter.m_nBytesToday, 0u);
        QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());
        QVERIFY(pBytes->text() != strCounted);
        QCOMPARE(view.Downloads().Clock().GetPeriod(CDailyCounter::kTimerId), CDailyCounter::kDayMs);
    }

    void cancelAndRemoveRunningDownloads()
    {
        CGatewayFault slow;
        slow.m_nThrottle = 20000;
        CTestProgram program;
        CDravelinView& view = StartListed(program, "MaxDownloads=1\n", slow);
        std::vector<ArticlePtr> rows = Download(view, 2, 2);
        QCOMPARE(StateOf(rows[0]), int(StateDownloading));
        QCOMPARE(StateOf(rows[1]), int(StateQueued));
        SelectOnly(view.Progress(), {});
        QVERIFY(!Enabled(view, ID_PROGRESS_CANCELDOWNLOAD));
        SelectOnly(view.Progress(), {0, 1});
        QVERIFY(Enabled(view, ID_PROGRESS_CANCELDOWNLOAD));
        view.OnCommand(ID_PROGRESS_CANCELDOWNLOAD);
        // Only the running one is cancelled; it goes below the queued one.
        QCOMPARE(view.Progress().GetArticle(0), rows[1]);
        QCOMPARE(view.Progress().GetArticle(1), rows[0]);
        QCOMPARE(StateOf(rows[0]), int(StateCancelled));
        QCOMPARE(StateOf(rows[1]), int(StateQueued));
        // A cancelled download is queued again, not dropped: both finish.
        m_pGateway->SetDefaultFault(CGatewayFault{});
        QVERIFY(WaitFor([&] { return AllIn(rows, StateDone); }));
        view.OnCommand(ID_QUEUE_CLEAR);
        slow.m_nThrottle = 200000;
        m_pGateway->SetDefaultFault(slow);

        rows = Download(view, 2);
        QCOMPARE(StateOf(rows[0]), int(StateDownloading));
        // The running download ends while "remove it?" is open; the next one starts.
        bool bFirst = true;
        program.m_prompts.m_fnWhileAsking = [&](const std::string&)
        {
            if (std::exchange(bFirst, false))
                QVERIFY(WaitFor([&] { return StateOf(rows[0]) != StateDownloading; }));
        };
        SelectOnly(view.Progress(), {0, 1});
        view.OnCommand(ID_PROGRESS_REMOVE);
        program.m_prompts.m_fnWhileAsking = nullptr;
        QCOMPARE(view.Progress().GetItemCount(), 0);
        QCOMPARE(StateOf(rows[0]), int(StateDone));
        for (const ArticlePtr& pArticle : rows)
            QCOMPARE(pArticle->m_nLists, int(ListArticles));
        // The one started during the question stops and is listed again.
        QVERIFY(WaitFor([&] { return StateOf(rows[1]) == StateListed; }));
        QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
    }

    void queueSavedAtExitRestoredAtStart()
    {
        CTestProgram program;
        Start(program, "MaxDownloads=0\n", true);
        ListGroup(program);
        std::vector<std::string> queries;
        for (const ArticlePtr& pArticle : Download(program.View(), 3))
            queries.push_back(pArticle->m_strDecodeQuery);
        QCOMPARE(queries.size(), size_t(3));
        program.Stop();

        // The next start may download: the loaded queue starts by itself.
        Start(program, "", true);
        CArticleList& progress = program.View().Progress();
        std::vector<ArticlePtr> rows;
        for (int i = 0; i < progress.GetItemCount(); ++i)
        {
            rows.push_back(progress.GetArticle(i));
            QCOMPARE(rows.back()->m_strDecodeQuery, queries[size_t(i)]);
        }
        QCOMPARE(rows.size(), size_t(3));
        QVERIFY(WaitFor([&] { return AllIn(rows, StateDone); }));
        for (const ArticlePtr& pArticle : rows)
            QVERIFY(std::filesystem::is_regular_file(pArticle->m_strDownloadPath + pArticle->m_strSavedName));
    }

    void closingWhileDownloadingAsksOnce()
    {
        CGatewayFault stall;
        stall.m_nStallAfter = 1000;
        CTestProgram program;
        CDravelinView& view = StartListed(program, "", stall);
        const std::vector<ArticlePtr> rows = Download(view, 3);
        QVERIFY(WaitFor([&] { return view.Downloads().Scheduler().GetActiveDownloads() == 2; }));

        program.m_prompts.m_answers = {false};
        QVERIFY(!program.Close());
        QCOMPARE(
            program.m_prompts.m_questions,
            std::vector<std::string>({"Dravelin is still downloading.\r\nAre you sure you want to quit?"}));
        QVERIFY(program.Frame().isVisible());
        QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 2);
        QCOMPARE(view.Progress().GetItemCount(), 3);
        QVERIFY(AllIn({rows[0], rows[1]}, StateDownloading));
        QCOMPARE(StateOf(rows[2]), int(StateQueued));

        // Yes: the running downloads are left to their workers, which stop quietly.
        program.m_prompts.m_answers = {true};
        QVERIFY(program.Close());
        QCOMPARE(program.m_prompts.m_questions.size(), size_t(2));
        QVERIFY(AllIn({rows[0], rows[1]}, StateShutdown));
        QCOMPARE(rows[0]->m_nLists & ListProgress, 0);
        m_pGateway->SetDefaultFault(CGatewayFault{});
    }
};

void DownloadTest::Start(CTestProgram& program, const std::string& strPreferences, bool bQueueFile)
{
    std::filesystem::create_directories(DownloadFolder(program));
    program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 1),
                      std::string(bQueueFile ? "LoadQueue=1\nSaveQueue=1\n" : "LoadQueue=0\nSaveQueue=0\n") +
                          "MaxRetries=0\nDefaultPath=" + DownloadFolder(program) + "\n" + strPreferences);
}

void DownloadTest::ListGroup(CTestProgram& program)
{
    program.Frame().NewsgroupBox()->setEditText(QString::fromLatin1(kGroup));
    QTest::mouseClick(program.Frame().GoButton(), Qt::LeftButton);
    QVERIFY(WaitFor(
        [&]
        { return program.View().GetStatusText().find("Done retrieving headers.") != std::string::npos; }));
    QCOMPARE(program.View().Articles().GetItemCount(), m_pGateway->ArticleCount(kGroup));
}

QTEST_MAIN(DownloadTest)
#include "DownloadTest.moc"
