#include "SchedulerFixture.h"

#include "download/DailyCounter.h"
#include "support/Join.h"
#include "support/WithRow.h"
#include "ui/Clock.h"

#include <filesystem>

using namespace downloadtest;

namespace
{
class SchedulerTest : public SchedulerWorld<RecordingScheduler, testsupport::RecordingSink>
{
protected:
    SchedulerTest()
    {
        m_pDoc->m_settings.m_nMaxRetries = 2;
        m_pDoc->m_settings.m_bRetryInfinite = 0;
    }

    ArticlePtr List(int32_t nService, const std::string& strSubject, int32_t nState = StateListed,
                    int32_t nSize = 1000)
    {
        auto pArticle = MakeListed(nService, strSubject, nSize);
        pArticle->m_nState = nState;
        m_articles.AddArticleRow(pArticle);
        return pArticle;
    }
    ArticlePtr Queue(int32_t nService, const std::string& strSubject, int32_t nSize = 1000)
    {
        auto pArticle = List(nService, strSubject, StateListed, nSize);
        m_scheduler.QueueArticle(pArticle, m_articles.FindArticleRow(pArticle.get()), m_dir.Path().string());
        return pArticle;
    }
    // What a worker does at its end, then the view's handling of its message.
    void Finish(const ArticlePtr& pArticle, bool bSuccess)
    {
        pArticle->m_hRunEvent->Reset();
        --m_pDoc->FindAccount(pArticle->m_nService)->m_nRunning;
        m_scheduler.OnDownloadDone(bSuccess, pArticle);
    }
    std::vector<std::string> Started() const
    {
        std::vector<std::string> subjects;
        for (const auto& pParams : m_scheduler.m_started)
            subjects.push_back(pParams->m_pArticle->m_strSubject);
        return subjects;
    }
    // The states of the article list's rows, top to bottom.
    std::vector<int32_t> States() const
    {
        std::vector<int32_t> states;
        for (int i = 0; i < m_articles.GetItemCount(); ++i)
            states.push_back(m_articles.GetArticle(i)->m_nState);
        return states;
    }
};

TEST_F(SchedulerTest, GlobalAndAccountLimits)
{
    auto pNewsGuy = AddAccount(*m_pDoc, 1, 1);
    auto pEasy = AddAccount(*m_pDoc, 16, 2);
    AddAccount(*m_pDoc, 4, 0); // never starts
    m_scheduler.SetEasyNewsPort81(true);
    Queue(4, "Z");
    auto pA = Queue(1, "A");
    Queue(1, "B");
    Queue(1, "C");
    auto pD = Queue(16, "D");
    EXPECT_EQ(Started(), (std::vector<std::string>{"A", "D"}));
    EXPECT_EQ(States(), (std::vector<int32_t>{StateQueued, StateDownloading, StateQueued, StateQueued,
                                              StateDownloading}));
    EXPECT_EQ(testsupport::Join(m_scheduler.GetActiveDownloads(), pNewsGuy->m_nRunning, pEasy->m_nRunning),
              "2|1|1|");
    // What the worker gets.
    const auto& easy = *m_scheduler.m_started[1];
    EXPECT_EQ(testsupport::Join(easy.m_bPort81, m_scheduler.m_started[0]->m_bPort81), "1|0|");
    ASSERT_TRUE(easy.m_pRunEvent);
    EXPECT_TRUE(easy.m_pRunEvent->IsSet());
    EXPECT_EQ(testsupport::Join(easy.m_pRunEvent, easy.m_pSettings.get(), easy.m_pView),
              testsupport::Join(pD->m_hRunEvent, &m_pDoc->m_settings, m_pQueue));

    Finish(pA, true);
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_EQ(Started(), (std::vector<std::string>{"A", "D", "B"}));
    EXPECT_EQ(m_scheduler.GetActiveDownloads(), 2);
    EXPECT_EQ(m_tools.m_nHangUps, 0);
}

using SchedulerRetryTest = testsupport::WithRow<SchedulerTest, bool>;

TEST_P(SchedulerRetryTest, ThreeAttemptsThenFailedAndKeepFailedDecides)
{
    const bool bKeepFailed = GetParam();
    m_pDoc->m_settings.m_bKeepFailed = bKeepFailed;
    m_pDoc->m_settings.m_nMaxDownloads = 1;
    AddAccount(*m_pDoc, 1, 2);
    auto pA = Queue(1, "A");
    auto pB = Queue(1, "B");
    auto pC = Queue(1, "C");
    std::shared_ptr<CManualResetEvent> pLastEvent;
    auto failA = [&]
    {
        ASSERT_EQ(pA->m_nState, StateDownloading);
        // A new event for every attempt.
        EXPECT_NE(pA->m_hRunEvent, pLastEvent);
        EXPECT_TRUE(pA->m_hRunEvent->IsSet());
        pLastEvent = pA->m_hRunEvent;
        WriteOwnFile(*pA, m_dir.File("a.bin"), "partial");
        Finish(pA, false);
    };
    // First failure: behind every other queued article; B runs now.
    failA();
    EXPECT_EQ(pA->m_nRetries, 1);
    EXPECT_EQ(pA->m_nState, StateQueued);
    EXPECT_EQ(QueueOrder(), "BCA");
    EXPECT_EQ(pB->m_nState, StateDownloading);
    Finish(pB, true);
    Finish(pC, true);
    // Second failure: nothing else waits, so it runs again at once.
    failA();
    EXPECT_EQ(pA->m_nRetries, 2);
    EXPECT_EQ(m_scheduler.m_started.size(), 5u);
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("a.bin")));
    // Third failure: MaxRetries 2 exceeded.
    failA();
    EXPECT_EQ(testsupport::Join(pA->m_nRetries, m_scheduler.m_started.size(), pA->m_nState, pC->m_nState,
                                m_scheduler.GetActiveDownloads()),
              testsupport::Join(3, 5, StateFailed, StateDone, 0));
    EXPECT_EQ(std::filesystem::exists(m_dir.File("a.bin")), bKeepFailed);
    EXPECT_EQ(m_tools.m_nHangUps, 0); // not chosen
}

INSTANTIATE_TEST_SUITE_P(KeepFailed, SchedulerRetryTest, ::testing::Bool());

TEST_F(SchedulerTest, FinalFailureNeverDeletesTheFolder)
{
    m_pDoc->m_settings.m_bKeepFailed = 0;
    m_pDoc->m_settings.m_nMaxRetries = 0;
    AddAccount(*m_pDoc, 1, 2);
    auto pA = Queue(1, "A");
    pA->m_strSavedName.clear(); // the attempt never named its file
    std::filesystem::create_directory(m_dir.Path() / "sub");
    pA->m_strDownloadPath = (m_dir.Path() / "sub").string() + "/";
    Finish(pA, false);
    EXPECT_EQ(pA->m_nState, StateFailed);
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "sub"));
}

TEST_F(SchedulerTest, InfiniteRetriesKeepQueueing)
{
    m_pDoc->m_settings.m_bRetryInfinite = 1;
    m_pDoc->m_settings.m_nMaxRetries = 0;
    AddAccount(*m_pDoc, 1, 2);
    auto pA = Queue(1, "A");
    for (int i = 0; i < 6; ++i)
    {
        ASSERT_EQ(pA->m_nState, StateDownloading);
        Finish(pA, false);
    }
    EXPECT_EQ(pA->m_nRetries, 6);
    EXPECT_EQ(pA->m_nState, StateDownloading);
    EXPECT_EQ(m_scheduler.m_started.size(), 7u);
}

TEST_F(SchedulerTest, CancelledThenRemovedIsFinishedLikeARemoval)
{
    AddAccount(*m_pDoc, 1, 2);
    auto pA = Queue(1, "A");
    pA->m_nState = StateCancelled;
    int nRow = m_progress.FindArticleRow(pA.get());
    m_progress.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);
    m_progress.RemoveSelected(); // no question for a cancelled row
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    Finish(pA, false);
    EXPECT_EQ(pA->m_nState, StateListed);
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    EXPECT_EQ(m_scheduler.m_started.size(), 1u);
}

TEST_F(SchedulerTest, MissingAccountFailsAndThePassGoesOn)
{
    AddAccount(*m_pDoc, 16, 2);
    m_scheduler.SetPaused(true);
    Queue(4, "A");
    Queue(16, "B");
    m_scheduler.SetPaused(false);
    EXPECT_EQ(m_prompts.m_messages,
              std::vector<std::string>{"The account information for this article is no longer available!"});
    EXPECT_EQ(States(), (std::vector<int32_t>{StateFailed, StateDownloading}));
    EXPECT_EQ(Started(), (std::vector<std::string>{"B"}));
}

TEST_F(SchedulerTest, DailyLimitPressesPauseAndThePassContinues)
{
    struct Clock : IClock
    {
        std::time_t Now() const override { return std::time(nullptr); }
        void SetTimer(int, int64_t) override {}
        void KillTimer(int) override {}
    } clock;
    std::string strIni = m_dir.File("Dravelin.ini");
    testsupport::WriteFile(strIni, "[Preferences]\nMaxBytes=1000\nBytesToday=0\n");
    CDailyCounter counter;
    counter.SetupDailyCounter(strIni, &clock);
    m_scheduler.SetDailyCounter(&counter);
    std::vector<bool> pauses;
    m_scheduler.SetPauseChanged([&](bool b) { pauses.push_back(b); });
    m_pDoc->m_settings.m_nMaxDownloads = 4;
    AddAccount(*m_pDoc, 2, 4);
    AddAccount(*m_pDoc, 16, 4);

    m_scheduler.SetPaused(true);
    pauses.clear();
    auto pBig = Queue(2, "Big", 700);
    auto pFit = Queue(2, "Fit", 400);
    auto pEasy = Queue(16, "Easy", 5000);
    Queue(2, "Exact", 600);
    m_scheduler.SetPaused(false);
    // Big passes; Fit (400) does not fit beside it, so Pause is pressed, yet
    // the pass goes on and starts Easy.
    EXPECT_EQ(Started(), (std::vector<std::string>{"Big", "Easy"}));
    EXPECT_EQ(States(), (std::vector<int32_t>{StateDownloading, StateQueued, StateDownloading, StateQueued}));
    EXPECT_TRUE(m_scheduler.IsPaused());
    EXPECT_EQ(pauses, (std::vector<bool>{false, true}));
    EXPECT_EQ(counter.m_nBytesToday, 700u);

    // A failure gives the size back; paused, nothing new starts.
    Finish(pBig, false);
    EXPECT_EQ(counter.m_nBytesToday, 0u);
    EXPECT_EQ(pBig->m_nState, StateQueued);
    EXPECT_EQ(m_scheduler.m_started.size(), 2u);
    // Released: Fit and Exact fill the allowance exactly; Big waits again,
    // with nobody told this time.
    m_scheduler.SetPauseChanged(nullptr);
    m_scheduler.SetPaused(false);
    EXPECT_EQ(Started(), (std::vector<std::string>{"Big", "Easy", "Fit", "Exact"}));
    EXPECT_EQ(counter.m_nBytesToday, 1000u);
    EXPECT_EQ(pBig->m_nState, StateQueued);
    EXPECT_TRUE(m_scheduler.IsPaused());
    // A stopped download keeps its size counted.
    pFit->m_nState = StateCancelled;
    Finish(pFit, false);
    EXPECT_EQ(counter.m_nBytesToday, 1000u);
}

TEST_F(SchedulerTest, PauseHoldsStartsAndTheWhenDoneActions)
{
    AddAccount(*m_pDoc, 1, 2);
    m_tools.m_bHangUpWhenDone = 1;
    m_tools.m_bPowerOffWhenDone = 1;
    m_scheduler.SetPaused(true);
    auto pA = Queue(1, "A");
    m_scheduler.StartDownloads();
    EXPECT_TRUE(m_scheduler.m_started.empty());
    EXPECT_EQ(m_tools.m_nHangUps, 0);
    m_scheduler.SetPaused(false);
    EXPECT_EQ(Started(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(m_tools.m_nHangUps, 0);
    Finish(pA, true);
    EXPECT_EQ(m_tools.m_nHangUps, 1);
    EXPECT_EQ(m_tools.m_nPowerOffs, 1);
    // "&Start Downloading" with nothing to start and nothing running: done.
    m_scheduler.StartDownloads();
    EXPECT_EQ(m_tools.m_nHangUps, 2);
}

TEST_F(SchedulerTest, ThreadStartFailurePutsTheArticleBack)
{
    auto pAccount = AddAccount(*m_pDoc, 1, 2);
    m_scheduler.m_bFailStart = true;
    auto pA = Queue(1, "A");
    EXPECT_EQ(testsupport::Join(pA->m_nState, pAccount->m_nRunning, m_scheduler.GetActiveDownloads()),
              testsupport::Join(StateQueued, 0, 0));
    m_scheduler.m_bFailStart = false;
    m_scheduler.StartDownloads();
    EXPECT_EQ(testsupport::Join(pA->m_nState, pAccount->m_nRunning), testsupport::Join(StateDownloading, 1));
}

TEST_F(SchedulerTest, QueueSelectedAsksByState)
{
    AddAccount(*m_pDoc, 1, 2);
    m_scheduler.SetPaused(true);
    auto pListed = List(1, "L");
    auto pQueued = Queue(1, "Q");
    List(1, "X", StateExported);
    auto pDone = List(1, "D", StateDone);
    auto pFailed = List(1, "F", StateFailed);
    pFailed->m_nRetries = 3;
    List(1, "I", StateIncomplete);
    List(1, "R", StateDownloading);
    for (int i = 0; i < m_articles.GetItemCount(); ++i)
        m_articles.SetItemState(i, CArticleList::RowSelected, CArticleList::RowSelected);
    // Q: remove it (Yes); X: again (No); D: again (Yes).
    m_prompts.m_answers = {true, false, true};
    m_scheduler.QueueSelectedArticles("/dl/");

    EXPECT_EQ(m_prompts.m_questions,
              (std::vector<std::string>{
                  "Article is queued for downloading.\nAre you sure you want to remove it from the queue?",
                  "Article was copied to Clipboard.\nDo you want to download it again?",
                  "Article was downloaded successfully.\nDo you want to download it again?"}));
    EXPECT_EQ(m_prompts.m_messages,
              std::vector<std::string>{"Article is incomplete. It cannot be downloaded!"});
    EXPECT_EQ(m_prompts.m_icons[0], PromptIcon::Question);

    EXPECT_EQ(States(), (std::vector<int32_t>{StateQueued, StateListed, StateExported, StateQueued,
                                              StateQueued, StateIncomplete, StateDownloading}));
    EXPECT_EQ(pListed->m_strDownloadPath, "/dl/");
    EXPECT_EQ(pQueued->m_nLists, ListArticles);
    EXPECT_EQ(pFailed->m_nRetries, 0);
    EXPECT_EQ(QueueOrder(), "LDF");
    EXPECT_EQ(pDone->m_nLists, ListArticles | ListProgress);
}

TEST_F(SchedulerTest, DoNotQueueHandsOffOnlyWithAHandOff)
{
    AddAccount(*m_pDoc, 1, 2);
    m_pDoc->m_settings.m_bDoNotQueue = 1;
    m_scheduler.SetPaused(true);
    auto pA = List(1, "A");
    m_articles.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
    // Nothing installed: queued as usual.
    m_scheduler.QueueSelectedArticles("/x/");
    EXPECT_EQ(QueueOrder(), "A");

    FakeHandOff handOff;
    m_scheduler.SetHandOff(&handOff);
    auto pB = List(1, "B");
    m_articles.SetItemState(0, 0, CArticleList::RowSelected);
    m_articles.SetItemState(1, CArticleList::RowSelected, CArticleList::RowSelected);
    m_scheduler.QueueSelectedArticles("/y/");
    EXPECT_EQ(QueueOrder(), "A");
    ASSERT_EQ(handOff.m_articles.size(), 1u);
    EXPECT_EQ(testsupport::Join(handOff.m_articles[0], handOff.m_rows[0], handOff.m_strFolder),
              testsupport::Join(pB, 1, "/y/"));
}

TEST_F(SchedulerTest, QueueingAgainMovesToTheEndAndStartsAfresh)
{
    EXPECT_FALSE(m_scheduler.CanStartDownloading());
    AddAccount(*m_pDoc, 1, 2);
    m_scheduler.SetPaused(true);
    auto pA = Queue(1, "A");
    EXPECT_TRUE(m_scheduler.CanStartDownloading());
    Queue(1, "B");
    pA->m_nRetries = 2;
    pA->Transfer().m_strResumeValidator = "\"etag\"";
    m_scheduler.QueueArticle(pA, 0, "/other/");
    EXPECT_EQ(QueueOrder(), "BA");
    EXPECT_EQ(testsupport::Join(pA->m_nRetries, pA->m_strDownloadPath, pA->GetTransfer().m_strResumeValidator,
                                pA->m_nLists),
              testsupport::Join(0, "/other/", "", ListArticles | ListProgress));
    m_pDoc->m_settings.m_nMaxDownloads = 0;
    EXPECT_FALSE(m_scheduler.CanStartDownloading());
}

TEST_F(SchedulerTest, DiskFullRunsTheCleanUpsThatAreOnAndIdle)
{
    m_pDoc->m_settings.m_bDeleteTempInet = 1;
    m_pDoc->m_settings.m_bEmptyRecycleBin = 1;
    CViewMessage msg;
    msg.nMessage = WM_DISK_FULL;
    EXPECT_TRUE(m_scheduler.HandleMessage(msg));
    EXPECT_EQ(m_tools.m_nTempDeletes, 1);
    EXPECT_EQ(m_tools.m_nTrashEmpties, 1);
    m_tools.m_bDeletingTempFiles = 1;
    m_pDoc->m_settings.m_bEmptyRecycleBin = 0;
    m_scheduler.OnDiskFull();
    EXPECT_EQ(m_tools.m_nTempDeletes, 1);
    EXPECT_EQ(m_tools.m_nTrashEmpties, 1);
    msg.nMessage = WM_STATUS_TEXT;
    EXPECT_FALSE(m_scheduler.HandleMessage(msg));
}
} // namespace
