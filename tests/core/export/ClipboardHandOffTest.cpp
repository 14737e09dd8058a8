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

TEST_F(ClipboardSequenceTest, OtherTimersAreNotOurs)
{
    HandOff({"a", "b"});
    EXPECT_FALSE(m_export.OnTimer(CDailyCounter::kTimerId));
    EXPECT_EQ(m_system.m_clipboard.size(), 1u);
}

TEST_F(ClipboardSequenceTest, AClipboardThatFailsLaterDropsThatUrlAndGoesOn)
{
    std::vector<ArticlePtr> articles = HandOff({"a", "b", "c"});
    m_system.m_bClipboardAvailable = false;
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_prompts.m_messages, (Texts{"Can't open clipboard!", "Can't open clipboard!"}));
    EXPECT_EQ(articles[1]->m_nState, StateListed);
    EXPECT_EQ(articles[2]->m_nState, StateListed);
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_EQ(m_system.m_clipboard, Texts{NewsGuyUrl("a")});
}

TEST_F(ClipboardSequenceTest, ARunningDownloadKeepsItsState)
{
    ArticlePtr pB = HandOff({"a", "b"})[1];
    pB->m_nState = StateDownloading; // queued for our own download meanwhile
    m_export.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("b"));
    EXPECT_EQ(pB->m_nState, StateDownloading);
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

TEST(ClipboardHandOffTest, WithoutAClockTextsGoOnOneAfterTheOther)
{
    toolstest::FakeSystemServices system;
    CClipboardHandOff clipboard(&system, nullptr, nullptr);
    int nPut = 0;
    clipboard.Put("one", [&] { ++nPut; });
    clipboard.Put("two", [&] { ++nPut; });
    EXPECT_EQ(system.m_clipboard, (Texts{"one", "two"}));
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
