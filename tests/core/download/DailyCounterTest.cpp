#include "download/DailyCounter.h"
#include "settings/ProfileFile.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/TestSupport.h"
#include "ui/Clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using testsupport::LocalTime;

class FakeClock : public IClock
{
public:
    std::time_t Now() const override { return m_now; }
    void SetTimer(int nId, int64_t nPeriodMs) override { m_timers.emplace_back(nId, nPeriodMs); }
    void KillTimer(int) override {}

    std::time_t m_now = 0;
    std::vector<std::pair<int, int64_t>> m_timers;
};

ArticlePtr MakeArticle(int32_t nSize)
{
    return testsupport::NewArticle({.nService = 2, .nSize = nSize});
}

class DailyCounterTest : public ::testing::Test
{
protected:
    std::string Ini() const { return m_dir.File("Dravelin.ini"); }
    std::string Key(const char* pszKey, const char* pszSection = "Preferences") const
    {
        return CProfileFile::GetProfileString(pszSection, pszKey, "<missing>", Ini());
    }
    void Write(const char* pszKey, const std::string& strValue, const char* pszSection = "Preferences")
    {
        CProfileFile::WriteProfileString(pszSection, pszKey, strValue, Ini());
    }
    // Starts on 15 June 2026 at nHour with the given [Preferences] keys.
    void Start(int nHour, std::initializer_list<std::pair<const char*, const char*>> keys)
    {
        for (const auto& [pszKey, pszValue] : keys)
            Write(pszKey, pszValue);
        m_clock.m_now = LocalTime(2026, 6, 15, nHour);
        m_counter.SetupDailyCounter(Ini(), &m_clock);
    }

    testsupport::TempDir m_dir;
    FakeClock m_clock;
    CDailyCounter m_counter;
};

TEST_F(DailyCounterTest, FirstStartWritesDefaultsAndResets)
{
    m_clock.m_now = LocalTime(2026, 6, 15, 10, 30);
    int nChanged = 0;
    m_counter.SetLabelsChanged([&] { ++nChanged; });
    m_counter.SetupDailyCounter(Ini(), &m_clock);

    EXPECT_EQ(testsupport::Join(Key("MaxBytes"), Key("PSTTimeDiff"), Key("BytesToday"), Key("Reset")),
              "524288000|0|0|15 06 2026|");
    EXPECT_EQ(m_counter.GetResetText() + ", " + m_counter.GetCountText(),
              "Reset at 00:00, 0.00 MB downloaded from NewsGuy");
    EXPECT_GT(nChanged, 0);
    // Next midnight: 13.5 hours away.
    EXPECT_EQ(m_clock.m_timers, (std::vector<std::pair<int, int64_t>>{{1, (13 * 3600 + 30 * 60) * 1000LL}}));
}

TEST_F(DailyCounterTest, NegativeHourGetsTwentyFourAdded)
{
    Start(17, {{"PSTTimeDiff", "-8"}});
    EXPECT_EQ(m_counter.m_nResetHour, 16);
    EXPECT_EQ(m_counter.GetResetText(), "Reset at 16:00");
    EXPECT_EQ(Key("PSTTimeDiff"), "-8"); // a present key is not rewritten
    // 16:00 has passed: tomorrow's, 23 hours away.
    EXPECT_EQ(m_clock.m_timers.back().second, 23 * 3600 * 1000LL);
}

TEST_F(DailyCounterTest, ResetDueRule)
{
    // Started at 10:00 with the reset at 16:00 and yesterday's date: yesterday
    // 16:00 is 18 hours ago, so no reset; the timer fires at 16:00 today.
    Start(10, {{"PSTTimeDiff", "16"}, {"Reset", "14 06 2026"}, {"BytesToday", "1234"}});
    EXPECT_EQ(m_counter.m_nBytesToday, 1234u);
    EXPECT_EQ(Key("Reset"), "14 06 2026");
    EXPECT_EQ(m_clock.m_timers.back().second, 6 * 3600 * 1000LL);

    // Today's date stored: no reset, even after the hour has passed.
    EXPECT_FALSE(CDailyCounter::IsResetDue("15 06 2026", 0, LocalTime(2026, 6, 15, 23)));
    // Two days ago at the hour: more than a day has passed.
    EXPECT_TRUE(CDailyCounter::IsResetDue("13 06 2026", 16, LocalTime(2026, 6, 15, 10)));
    EXPECT_TRUE(CDailyCounter::IsResetDue("14 06 2026", 16, LocalTime(2026, 6, 15, 16, 1)));
    // Dates that make no time.
    for (const char* pszDate : {"00 00 0000", "31 02 2026", "garbage"})
        EXPECT_TRUE(CDailyCounter::IsResetDue(pszDate, 0, LocalTime(2026, 6, 15, 10))) << pszDate;
}

TEST_F(DailyCounterTest, LimitRefusesAndIgnoring)
{
    Start(10, {{"MaxBytes", "524288000"}, {"BytesToday", "400000000"}, {"Reset", "15 06 2026"}});
    auto pBig = MakeArticle(200000000);
    EXPECT_FALSE(m_counter.AddToDailyCounter(*pBig, true));
    EXPECT_EQ(m_counter.m_nBytesToday, 400000000u);
    EXPECT_EQ(Key("BytesToday"), "400000000");

    m_counter.ToggleIgnoreLimit();
    EXPECT_TRUE(m_counter.IsIgnoringLimit());
    EXPECT_TRUE(m_counter.AddToDailyCounter(*pBig, true));
    EXPECT_EQ(m_counter.GetCountText(), "572.20 MB downloaded from NewsGuy");
    EXPECT_EQ(Key("BytesToday"), "600000000");
    m_counter.ToggleIgnoreLimit();
    EXPECT_FALSE(m_counter.IsIgnoringLimit());
    // The toggle is not stored.
    EXPECT_EQ(Key("IgnoreNewsGuyLimit", "NewsGuyExtra"), "<missing>");
    // Without the limit test (hand-off) it counts past the limit.
    EXPECT_TRUE(m_counter.AddToDailyCounter(*MakeArticle(1), false));
    EXPECT_EQ(m_counter.m_nBytesToday, 600000001u);
}

TEST_F(DailyCounterTest, ExactAllowanceIsAcceptedAndGivingBackStopsAtZero)
{
    Write("IgnoreNewsGuyLimit", "0", "NewsGuyExtra");
    Start(10, {{"MaxBytes", "1000"}, {"BytesToday", "400"}, {"Reset", "15 06 2026"}});
    EXPECT_FALSE(m_counter.AddToDailyCounter(*MakeArticle(601), true));
    EXPECT_TRUE(m_counter.AddToDailyCounter(*MakeArticle(600), true));
    EXPECT_EQ(m_counter.m_nBytesToday, 1000u);
    EXPECT_FALSE(m_counter.AddToDailyCounter(*MakeArticle(1), true));
    EXPECT_TRUE(m_counter.AddToDailyCounter(*MakeArticle(0), true));
    // Given back, the bytes are not written.
    m_counter.GiveBack(*MakeArticle(200));
    EXPECT_EQ(m_counter.m_nBytesToday, 800u);
    EXPECT_EQ(Key("BytesToday"), "1000");
    m_counter.GiveBack(*MakeArticle(1000));
    EXPECT_EQ(m_counter.m_nBytesToday, 0u);
    EXPECT_EQ(m_counter.GetCountText(), "0.00 MB downloaded from NewsGuy");
}

TEST_F(DailyCounterTest, StoredIgnoreSwitchAppliesAtSetup)
{
    Write("IgnoreNewsGuyLimit", "1", "NewsGuyExtra");
    Start(10, {{"MaxBytes", "10"}});
    EXPECT_TRUE(m_counter.AddToDailyCounter(*MakeArticle(1000), true));
}

TEST_F(DailyCounterTest, TimerRearmsForADayAndResets)
{
    Start(10, {{"BytesToday", "5000000"}, {"Reset", "15 06 2026"}});
    m_clock.m_now = LocalTime(2026, 6, 16, 0);
    m_counter.OnTimer(2); // not ours
    EXPECT_EQ(m_counter.m_nBytesToday, 5000000u);
    m_counter.OnTimer(1);
    EXPECT_EQ(m_clock.m_timers.back(), std::make_pair(1, int64_t{86400000}));
    EXPECT_EQ(
        testsupport::Join(m_counter.m_nBytesToday, Key("BytesToday"), Key("Reset"), m_counter.GetCountText()),
        "0|0|16 06 2026|0 bytes downloaded from NewsGuy|");
}
} // namespace
