#include "tools/QueueTools.h"
#include "settings/Preferences.h"
#include "support/TestSupport.h"
#include "tools/FakeSystemServices.h"

#include <gtest/gtest.h>

namespace
{
using toolstest::FakeSystemServices;
using toolstest::FakeTimerClock;
constexpr int kTimer = CQueueTools::kHangUpTimerId;

class QueueToolsTest : public ::testing::Test
{
protected:
    QueueToolsTest() : m_tools(m_settings, &m_system, &m_prompts, &m_clock)
    {
        m_tools.SetShutdownSave([this] { m_system.m_events.push_back("save"); });
        m_tools.SetCloseMainWindow([this] { m_system.m_events.push_back("close"); });
    }

    // Dial-up lines listed and all still up.
    void Lines(const std::vector<std::string>& lines)
    {
        m_system.m_listed = lines;
        m_system.m_active = {lines.begin(), lines.end()};
    }

    CPreferences m_settings;
    FakeSystemServices m_system;
    testsupport::FakePrompts m_prompts;
    FakeTimerClock m_clock;
    CQueueTools m_tools;
};

struct GuardCase
{
    const char* pszName;
    int32_t bDoNotQueue;
    int32_t nMaxDownloads;
    bool bHaveDialUp;
    bool bHangUpEnabled;
    bool bPowerOffEnabled;
};

class QueueToolsGuardTest : public ::testing::TestWithParam<GuardCase>
{
};

TEST_P(QueueToolsGuardTest, EnablingRulesAndWhenDoneActions)
{
    const GuardCase& c = GetParam();
    CPreferences settings;
    settings.m_bDoNotQueue = c.bDoNotQueue;
    settings.m_nMaxDownloads = c.nMaxDownloads;
    FakeSystemServices system;
    system.m_bHaveDialUp = c.bHaveDialUp;
    system.m_listed = {"ppp0"};
    system.m_active = {"ppp0"};
    system.m_bDropAtOnce = true;
    FakeTimerClock clock;
    testsupport::FakePrompts prompts;
    CQueueTools tools(settings, &system, &prompts, &clock);
    int nClosed = 0;
    tools.SetCloseMainWindow([&] { ++nClosed; });

    EXPECT_EQ(tools.CanHangUpWhenDone(), c.bHangUpEnabled);
    EXPECT_EQ(tools.CanPowerOffWhenDone(), c.bPowerOffEnabled);
    EXPECT_TRUE(tools.CanDeleteTemporaryInternetFiles());
    EXPECT_TRUE(tools.CanEmptyTheRecycleBin());

    tools.HangUpConnections();
    tools.PowerOffMachine();
    const bool bOwnQueue = !c.bDoNotQueue && c.nMaxDownloads != 0;
    EXPECT_EQ(system.m_hungUp.size(), bOwnQueue && c.bHaveDialUp ? 1u : 0u);
    EXPECT_EQ(system.m_nPowerOffs, bOwnQueue ? 1 : 0);
    EXPECT_EQ(nClosed, bOwnQueue ? 1 : 0);
    EXPECT_EQ(tools.m_bStateSaved, bOwnQueue ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, QueueToolsGuardTest,
                         ::testing::Values(GuardCase{"OwnQueue", 0, 2, true, true, true},
                                           GuardCase{"OwnQueueWithoutDialUp", 0, 2, false, false, true},
                                           GuardCase{"DownloadManager", 1, 2, true, false, false},
                                           GuardCase{"NoDownloads", 0, 0, true, false, false},
                                           GuardCase{"DownloadManagerAndNoDownloads", 1, 0, true, false,
                                                     false}),
                         [](const ::testing::TestParamInfo<GuardCase>& info) { return info.param.pszName; });

TEST_F(QueueToolsTest, HangUpSkipsAnEndedLineAndWaitsForEachToDrop)
{
    m_system.m_listed = {"ppp0", "ppp1", "wwan0"};
    m_system.m_active = {"ppp0", "wwan0"}; // ppp1 ended after the listing

    m_tools.HangUpConnections();

    // The first line is dropping; the call has returned.
    EXPECT_EQ(m_system.m_hungUp, std::vector<std::string>{"ppp0"});
    EXPECT_TRUE(m_tools.IsHangingUp());
    EXPECT_EQ(m_clock.Period(kTimer), CQueueTools::kHangUpPollMs);

    EXPECT_TRUE(m_tools.OnTimer(kTimer)); // still up
    EXPECT_EQ(m_system.m_hungUp.size(), 1u);

    m_system.m_active.erase("ppp0");
    m_tools.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_hungUp, (std::vector<std::string>{"ppp0", "wwan0"}));
    EXPECT_TRUE(m_tools.IsHangingUp());

    m_system.m_active.erase("wwan0");
    m_tools.OnTimer(kTimer);
    EXPECT_FALSE(m_tools.IsHangingUp());
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

TEST_F(QueueToolsTest, HangUpOfLinesThatDropAtOnceNeedsNoTimer)
{
    Lines({"ppp0", "ppp1"});
    m_system.m_bDropAtOnce = true;

    m_tools.HangUpConnections();

    EXPECT_EQ(m_system.m_hungUp, (std::vector<std::string>{"ppp0", "ppp1"}));
    EXPECT_FALSE(m_tools.IsHangingUp());
    EXPECT_EQ(m_clock.m_nArmed[kTimer], 0);
}

TEST_F(QueueToolsTest, HangUpWithoutConnectionsOrListingDoesNothing)
{
    m_tools.HangUpConnections();
    Lines({"ppp0"});
    m_system.m_bEnumWorks = false;
    m_tools.HangUpConnections();

    EXPECT_EQ(m_system.m_nEnumerations, 2);
    EXPECT_TRUE(m_system.m_hungUp.empty());
    EXPECT_FALSE(m_tools.IsHangingUp());
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

TEST_F(QueueToolsTest, ASecondHangUpWhileWaitingStartsNothingNew)
{
    Lines({"ppp0"});
    m_tools.HangUpConnections();

    m_tools.HangUpConnections(); // another scheduler pass meanwhile

    EXPECT_EQ(m_system.m_nEnumerations, 1);
    EXPECT_EQ(m_system.m_hungUp.size(), 1u);
}

TEST_F(QueueToolsTest, OtherTimersAreNotOurs)
{
    EXPECT_FALSE(m_tools.OnTimer(1));
    EXPECT_FALSE(m_tools.OnTimer(2));
}

TEST_F(QueueToolsTest, PowerOffSavesFirstThenAsksThenCloses)
{
    m_tools.PowerOffMachine();

    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
    EXPECT_TRUE(m_tools.m_bStateSaved);
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

TEST_F(QueueToolsTest, RefusedPowerOffIsShownAndDravelinStillCloses)
{
    m_system.m_bPowerOffAccepted = false;

    m_tools.PowerOffMachine();

    EXPECT_EQ(m_prompts.m_messages, std::vector<std::string>{"ERROR: ExitWindowsEx"});
    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
}

TEST_F(QueueToolsTest, PowerOffWaitsUntilEveryLineHasDropped)
{
    m_tools.m_bHangUpWhenDone = 1;
    m_tools.m_bPowerOffWhenDone = 1;
    Lines({"ppp0"});

    // What the scheduler does when the queue is done.
    m_tools.HangUpConnections();
    m_tools.PowerOffMachine();
    EXPECT_EQ(m_system.m_nPowerOffs, 0);
    EXPECT_FALSE(m_tools.m_bStateSaved);

    m_tools.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_nPowerOffs, 0);

    m_system.m_active.clear();
    m_tools.OnTimer(kTimer);
    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
}

TEST_F(QueueToolsTest, PowerOffTakenBackWhileLinesDropDoesNotHappen)
{
    m_tools.m_bPowerOffWhenDone = 1;
    Lines({"ppp0"});
    m_tools.HangUpConnections();
    m_tools.PowerOffMachine();

    m_tools.TogglePowerOffWhenDone();
    m_system.m_active.clear();
    m_tools.OnTimer(kTimer);

    EXPECT_EQ(m_system.m_nPowerOffs, 0);
    EXPECT_FALSE(m_tools.m_bStateSaved);
}

TEST_F(QueueToolsTest, APassFromWithinTheErrorBoxDoesNotPowerOffTwice)
{
    m_system.m_bPowerOffAccepted = false;
    class ReenteringPrompts : public testsupport::FakePrompts
    {
    public:
        void ShowMessage(const std::string& strText, PromptIcon nIcon) override
        {
            FakePrompts::ShowMessage(strText, nIcon);
            if (m_pTools)
                m_pTools->PowerOffMachine(); // a scheduler pass run by the box's loop
        }
        CQueueTools* m_pTools = nullptr;
    } prompts;
    CQueueTools tools(m_settings, &m_system, &prompts, &m_clock);
    prompts.m_pTools = &tools;

    tools.PowerOffMachine();

    EXPECT_EQ(m_system.m_nPowerOffs, 1);
    EXPECT_EQ(prompts.m_messages.size(), 1u);
}
} // namespace
