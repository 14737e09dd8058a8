#include "export/ClipboardHandOff.h"
#include "export/ExportFixture.h"

#include <gtest/gtest.h>

namespace
{
using exporttest::ExportTest;
using Texts = std::vector<std::string>;
constexpr int kTimer = CClipboardHandOff::kTimerId;

class ClipboardSequenceTest : public ExportTest
{
protected:
    void SetUp() override { SetManager(0); }
};

TEST_F(ClipboardSequenceTest, OneUrlPerTickInOrderWithoutBlocking)
{
    // All three calls return at once; only the first URL is on. Each article
    // is exported when its URL goes on.
    std::vector<ArticlePtr> articles = HandOff({"a", "b", "c"});
    EXPECT_EQ(m_export.GetClipboard().GetPending(), 2u);
    EXPECT_FALSE(m_export.OnTimer(CDailyCounter::kTimerId)) << "not our timer";
    Texts expected;
    for (size_t i = 0; i < 3; ++i)
    {
        expected.push_back(NewsGuyUrl(articles[i]->m_strDecodeQuery));
        EXPECT_EQ(m_system.m_clipboard, expected);
        for (size_t j = 0; j < 3; ++j)
            EXPECT_EQ(articles[j]->m_nState, j <= i ? StateExported : StateListed) << i << j;
        // The last URL still gets its second before the timer stops.
        EXPECT_TRUE(m_clock.IsRunning(kTimer));
        EXPECT_TRUE(m_export.OnTimer(kTimer));
    }
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_EQ(m_system.m_clipboard.size(), 3u);
    EXPECT_EQ(m_system.m_events, (Texts{"clipboard", "redraw articles 0", "clipboard", "redraw articles 1",
                                        "clipboard", "redraw articles 2"}));
}

TEST_F(ClipboardSequenceTest, AfterTheQuietSecondTheNextUrlGoesOnAtOnce)
{
    HandOff({"a"});
    m_export.OnTimer(kTimer);
    ASSERT_FALSE(m_clock.IsRunning(kTimer));

    ArticlePtr pB = HandOff({"b"})[0];

    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(pB->m_nState, StateExported);
    EXPECT_TRUE(m_clock.IsRunning(kTimer));
}

// A running download keeps its state when its URL goes on.
TEST_F(ClipboardSequenceTest, AClipboardThatFailsLaterDropsThatUrlAndGoesOn)
{
    std::vector<ArticlePtr> articles = HandOff({"a", "b", "c", "d"});
    articles[1]->m_nState = StateDownloading; // queued for our own download meanwhile
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(articles[1]->m_nState, StateDownloading);
    articles.erase(articles.begin());
    m_system.m_bClipboardAvailable = false;
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_prompts.m_messages, (Texts{"Can't open clipboard!", "Can't open clipboard!"}));
    EXPECT_EQ(articles[1]->m_nState, StateListed);
    EXPECT_EQ(articles[2]->m_nState, StateListed);
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_EQ(m_system.m_clipboard, (Texts{NewsGuyUrl("a"), NewsGuyUrl("b")}));
}

TEST_F(ClipboardSequenceTest, TheQueueCopyWaitsItsTurnAndSpacesTheNextHandOff)
{
    HandOff({"a"});
    Queued("q1");
    Queued("q2");
    m_prompts.m_answers = {false};
    m_export.CopyQueueToClipboard(false);
    HandOff({"b"});

    EXPECT_EQ(m_system.m_clipboard.size(), 1u);
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("q1") + NewsGuyUrl("q2")); // all at once
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(m_system.m_clipboard.size(), 3u);
}

// Without a clock texts go on one after the other; destruction stops the timer.
TEST(ClipboardHandOffTest, WithoutAClockOrDestroyed)
{
    toolstest::FakeSystemServices system;
    toolstest::FakeTimerClock clock;
    int nPut = 0;
    {
        CClipboardHandOff clipboard(&system, nullptr, nullptr);
        clipboard.Put("one", [&] { ++nPut; });
        clipboard.Put("two", [&] { ++nPut; });
        CClipboardHandOff timed(&system, &clock, nullptr);
        timed.Put("three");
        timed.Put("four");
        EXPECT_TRUE(clock.IsRunning(kTimer));
    }
    EXPECT_EQ(system.m_clipboard, (Texts{"one", "two", "three"}));
    EXPECT_EQ(nPut, 2);
    EXPECT_FALSE(clock.IsRunning(kTimer));
}
} // namespace
