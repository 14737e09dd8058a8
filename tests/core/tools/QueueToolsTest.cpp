#include "tools/QueueTools.h"
#include "settings/Preferences.h"
#include "support/TestSupport.h"
#include "support/WithRow.h"
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

using QueueToolsGuardTest = testsupport::WithRow<QueueToolsTest, GuardCase>;

TEST_P(QueueToolsGuardTest, EnablingRulesAndWhenDoneActions)
{
    const GuardCase& c = GetParam();
    m_settings.m_bDoNotQueue = c.bDoNotQueue;
    m_settings.m_nMaxDownloads = c.nMaxDownloads;
    m_system.m_bHaveDialUp = c.bHaveDialUp;
    Lines({"ppp0"});
    m_system.m_bDropAtOnce = true;
    // The dial-up support is looked at when the tools are made.
    CQueueTools tools(m_settings, &m_system, &m_prompts, &m_clock);
    tools.SetShutdownSave([this] { m_system.m_events.push_back("save"); });
    tools.SetCloseMainWindow([this] { m_system.m_events.push_back("close"); });

    EXPECT_EQ(tools.CanHangUpWhenDone(), c.bHangUpEnabled);
    EXPECT_EQ(tools.CanPowerOffWhenDone(), c.bPowerOffEnabled);
    EXPECT_TRUE(tools.CanDeleteTemporaryInternetFiles());
    EXPECT_TRUE(tools.CanEmptyTheRecycleBin());

    tools.HangUpConnections();
    tools.PowerOffMachine();
    const bool bOwnQueue = !c.bDoNotQueue && c.nMaxDownloads != 0;
    EXPECT_EQ(m_system.m_hungUp.size(), bOwnQueue && c.bHaveDialUp ? 1u : 0u);
    EXPECT_EQ(m_system.m_events, bOwnQueue ? (std::vector<std::string>{"save", "power-off", "close"})
                                           : std::vector<std::string>{});
    EXPECT_EQ(tools.m_bStateSaved, bOwnQueue ? 1 : 0);
}

using G = GuardCase;
INSTANTIATE_TEST_SUITE_P(Settings, QueueToolsGuardTest,
                         ::testing::Values(G{"OwnQueue", 0, 2, true, true, true},
                                           G{"OwnQueueWithoutDialUp", 0, 2, false, false, true},
                                           G{"DownloadManager", 1, 2, true, false, false},
                                           G{"NoDownloads", 0, 0, true, false, false},
                                           G{"DownloadManagerAndNoDownloads", 1, 0, true, false, false}),
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

// Lines that drop at once need no timer; without connections or a listing
// nothing is hung up; other timers are not ours.
TEST_F(QueueToolsTest, HangUpOfLinesThatDropAtOnceOrOfNone)
{
    Lines({"ppp0", "ppp1"});
    m_system.m_bDropAtOnce = true;
    m_tools.HangUpConnections();
    EXPECT_EQ(m_system.m_hungUp, (std::vector<std::string>{"ppp0", "ppp1"}));
    EXPECT_FALSE(m_tools.IsHangingUp());
    EXPECT_EQ(m_clock.m_nArmed[kTimer], 0);

    m_system.m_hungUp.clear();
    Lines({});
    m_tools.HangUpConnections();
    Lines({"ppp0"});
    m_system.m_bEnumWorks = false;
    m_tools.HangUpConnections();
    EXPECT_EQ(m_system.m_nEnumerations, 3);
    EXPECT_TRUE(m_system.m_hungUp.empty());
    EXPECT_FALSE(m_tools.IsHangingUp());
    EXPECT_TRUE(m_prompts.m_messages.empty());
    EXPECT_FALSE(m_tools.OnTimer(1));
    EXPECT_FALSE(m_tools.OnTimer(2));
    // Tools that go while a line drops stop their timer.
    {
        CQueueTools tools(m_settings, &m_system, &m_prompts, &m_clock);
        m_system.m_bEnumWorks = true;
        m_system.m_bDropAtOnce = false;
        tools.HangUpConnections();
        EXPECT_TRUE(m_clock.IsRunning(kTimer));
    }
    EXPECT_FALSE(m_clock.IsRunning(kTimer));
}

// The state is saved first, a refused power-off is shown, and Dravelin closes.
TEST_F(QueueToolsTest, PowerOffSavesFirstThenAsksThenCloses)
{
    for (bool bAccepted : {true, false})
    {
        m_system.m_events.clear();
        m_system.m_bPowerOffAccepted = bAccepted;
        m_tools.PowerOffMachine();
        EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
        EXPECT_TRUE(m_tools.m_bStateSaved);
        EXPECT_EQ(m_prompts.m_messages,
                  bAccepted ? std::vector<std::string>{} : std::vector<std::string>{"ERROR: ExitWindowsEx"});
    }
}

// What the scheduler does when the queue is done: the power-off waits until
// every line has dropped, and does not happen if it was taken back meanwhile.
TEST_F(QueueToolsTest, PowerOffWaitsUntilEveryLineHasDropped)
{
    for (bool bTakenBack : {true, false})
    {
        m_tools.m_bHangUpWhenDone = 1;
        m_tools.m_bPowerOffWhenDone = 1;
        Lines({"ppp0"});
        m_tools.HangUpConnections();
        m_tools.HangUpConnections(); // another scheduler pass meanwhile starts nothing new
        m_tools.PowerOffMachine();
        EXPECT_EQ(m_system.m_hungUp.size(), 1u);
        m_system.m_hungUp.clear();
        m_tools.OnTimer(kTimer);
        EXPECT_EQ(m_system.m_nPowerOffs, 0);
        EXPECT_FALSE(m_tools.m_bStateSaved);
        if (bTakenBack)
            m_tools.TogglePowerOffWhenDone();
        m_system.m_active.clear();
        m_tools.OnTimer(kTimer);
        EXPECT_EQ(m_system.m_nPowerOffs, bTakenBack ? 0 : 1);
    }
    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
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
