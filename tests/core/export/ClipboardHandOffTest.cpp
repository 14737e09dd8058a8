#include "export/ClipboardHandOff.h"
#include "export/ExportFixture.h"

#include <gtest/gtest.h>

namespace
{
using exporttest::ExportTest;
constexpr int kTimer = CClipboardHandOff::kTimerId;

class ClipboardSequenceTest : public ExportTest
{
protected:
    void SetUp() override { SetManager(0); }
};

TEST_F(ClipboardSequenceTest, OneUrlPerTickInOrderWithoutBlocking)
{
    ArticlePtr pA = Listed("a");
    ArticlePtr pB = Listed("b");
    ArticlePtr pC = Listed("c");

    // All three calls return at once; only the first URL is on.
    m_export.HandOffArticle(pA, 0, "/dl/");
    m_export.HandOffArticle(pB, 1, "/dl/");
    m_export.HandOffArticle(pC, 2, "/dl/");
    EXPECT_EQ(m_system.m_clipboard, std::vector<std::string>{NewsGuyUrl("a")});
    EXPECT_EQ(m_export.GetClipboard().GetPending(), 2u);
    EXPECT_EQ(pA->m_nState, StateExported);
    EXPECT_EQ(pB->m_nState, StateListed); // exported when its URL goes on
    EXPECT_EQ(pC->m_nState, StateListed);

    EXPECT_TRUE(m_export.OnTimer(kTimer));
    EXPECT_EQ(m_system.m_clipboard, (std::vector<std::string>{NewsGuyUrl("a"), NewsGuyUrl("b")}));
    EXPECT_EQ(pB->m_nState, StateExported);
    EXPECT_EQ(pC->m_nState, StateListed);

    EXPECT_TRUE(m_export.OnTimer(kTimer));
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("c"));
    EXPECT_EQ(pC->m_nState, StateExported);
    // The last URL still gets its second before the timer stops.
    EXPECT_TRUE(m_clock.IsRunning(kTimer));

    EXPECT_TRUE(m_export.OnTimer(kTimer));
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_EQ(m_system.m_clipboard.size(), 3u);
    EXPECT_EQ(m_system.m_events,
              (std::vector<std::string>{"clipboard", "redraw articles 0", "clipboard", "redraw articles 1",
                                        "clipboard", "redraw articles 2"}));
}

TEST_F(ClipboardSequenceTest, AfterTheQuietSecondTheNextUrlGoesOnAtOnce)
{
    ArticlePtr pA = Listed("a");
    ArticlePtr pB = Listed("b");
    m_export.HandOffArticle(pA, 0, "/dl/");
    m_export.OnTimer(kTimer);
    ASSERT_FALSE(m_clock.IsRunning(kTimer));

    m_export.HandOffArticle(pB, 1, "/dl/");

    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(pB->m_nState, StateExported);
    EXPECT_TRUE(m_clock.IsRunning(kTimer));
}

TEST_F(ClipboardSequenceTest, OtherTimersAreNotOurs)
{
    ArticlePtr pA = Listed("a");
    ArticlePtr pB = Listed("b");
    m_export.HandOffArticle(pA, 0, "/dl/");
    m_export.HandOffArticle(pB, 1, "/dl/");

    EXPECT_FALSE(m_export.OnTimer(CDailyCounter::kTimerId));
    EXPECT_EQ(m_system.m_clipboard.size(), 1u);
}

TEST_F(ClipboardSequenceTest, AClipboardThatFailsLaterDropsThatUrlAndGoesOn)
{
    ArticlePtr pA = Listed("a");
    ArticlePtr pB = Listed("b");
    ArticlePtr pC = Listed("c");
    m_export.HandOffArticle(pA, 0, "/dl/");
    m_export.HandOffArticle(pB, 1, "/dl/");
    m_export.HandOffArticle(pC, 2, "/dl/");

    m_system.m_bClipboardAvailable = false;
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_prompts.m_messages,
              (std::vector<std::string>{"Can't open clipboard!", "Can't open clipboard!"}));
    EXPECT_EQ(pB->m_nState, StateListed);
    EXPECT_EQ(pC->m_nState, StateListed);
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_EQ(m_system.m_clipboard, std::vector<std::string>{NewsGuyUrl("a")});
}

TEST_F(ClipboardSequenceTest, ARunningDownloadKeepsItsState)
{
    ArticlePtr pA = Listed("a");
    ArticlePtr pB = Listed("b");
    m_export.HandOffArticle(pA, 0, "/dl/");
    m_export.HandOffArticle(pB, 1, "/dl/");
    pB->m_nState = StateDownloading; // queued for our own download meanwhile

    m_export.OnTimer(kTimer);

    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(pB->m_nState, StateDownloading);
}

TEST_F(ClipboardSequenceTest, TheQueueCopyWaitsItsTurnAndSpacesTheNextHandOff)
{
    ArticlePtr pA = Listed("a");
    m_export.HandOffArticle(pA, 0, "/dl/");
    Queued("q1");
    Queued("q2");
    m_prompts.m_answers = {false};

    m_export.CopyQueueToClipboard(false);
    ArticlePtr pB = Listed("b");
    m_export.HandOffArticle(pB, 3, "/dl/");

    EXPECT_EQ(m_system.m_clipboard.size(), 1u);
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("q1") + NewsGuyUrl("q2")); // all at once
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(m_system.m_clipboard.size(), 3u);
}

TEST(ClipboardHandOffTest, WithoutAClockTextsGoOnOneAfterTheOther)
{
    toolstest::FakeSystemServices system;
    CClipboardHandOff clipboard(&system, nullptr, nullptr);
    int nPut = 0;
    clipboard.Put("one", [&] { ++nPut; });
    clipboard.Put("two", [&] { ++nPut; });
    EXPECT_EQ(system.m_clipboard, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(nPut, 2);
}

TEST(ClipboardHandOffTest, DestructionStopsItsTimer)
{
    toolstest::FakeSystemServices system;
    toolstest::FakeTimerClock clock;
    {
        CClipboardHandOff clipboard(&system, &clock, nullptr);
        clipboard.Put("one");
        clipboard.Put("two");
        EXPECT_TRUE(clock.IsRunning(kTimer));
    }
    EXPECT_FALSE(clock.IsRunning(kTimer));
}
} // namespace
