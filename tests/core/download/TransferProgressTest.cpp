#include "download/TransferProgress.h"
#include "download/DownloadOptions.h"
#include "support/Join.h"

#include <gtest/gtest.h>

namespace
{
struct StepCase
{
    int32_t nReceived;
    int32_t nRemaining;
    int64_t nElapsed;
    int32_t nBlock;
    int32_t nSpeedBefore;
    bool bReport;
    int32_t nSpeedAfter;
    const char* pszTimeLeft; // expected when reported
};

using TransferProgressStep = ::testing::TestWithParam<StepCase>;

TEST_P(TransferProgressStep, SpeedAndTimeRemaining)
{
    const StepCase& c = GetParam();
    int32_t nSpeed = c.nSpeedBefore;
    std::string strTimeLeft = "unchanged";
    bool bReport =
        CTransferProgress::Step(c.nReceived, c.nRemaining, c.nElapsed, c.nBlock, nSpeed, strTimeLeft);
    EXPECT_EQ(bReport, c.bReport);
    EXPECT_EQ(nSpeed, c.nSpeedAfter);
    EXPECT_EQ(strTimeLeft, c.bReport ? c.pszTimeLeft : "unchanged");
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferProgressStep,
                         ::testing::Values(
                             // 3,000,000 bytes after 10 s with 7,000,000 remaining.
                             StepCase{3000000, 7000000, 10, 1024000, 0, true, 292, "00:00:23"},
                             // The first second measures nothing and reports nothing.
                             StepCase{1024000, 9000000, 0, 1024000, 0, false, 0, ""},
                             // An empty read keeps the last speed and still reports (end of body).
                             StepCase{10000000, 0, 12, 0, 813, true, 813, "00:00:00"},
                             // An empty read before any speed was measured: nothing.
                             StepCase{0, 0, 3, 0, 0, false, 0, ""},
                             // Under 1 kB/s measured: no report, speed 0.
                             StepCase{2000, 5000000, 3, 2000, 0, false, 0, ""},
                             // Hours take more than two digits when they must.
                             StepCase{1024000, 2000000000, 1000, 1024000, 0, true, 1, "542:32:05"},
                             // Minutes and seconds split: 3725 s.
                             StepCase{102400, 381440000, 1, 102400, 0, true, 100, "01:02:05"},
                             // Received above 2 GiB as unsigned (a body longer than announced).
                             StepCase{-2147483648, -1024, 1, 100, 0, true, 2097152, "00:00:00"}));

TEST(TransferProgress, AverageUsesTotalSizeAndWholeSeconds)
{
    EXPECT_EQ(testsupport::Join(
                  CTransferProgress::AverageSpeed(10000000, 10), CTransferProgress::AverageSpeed(10000000, 0),
                  CTransferProgress::AverageSpeed(0, 10), CTransferProgress::AverageSpeed(-5, 10),
                  CTransferProgress::AverageSpeed(2147483647, 1)),
              "976|0|0|0|2097151|");
}

TEST(DownloadOptions, ProgressSwitchInAnyLetterCase)
{
    EXPECT_TRUE(CDownloadOptions::CommandLineDisablesProgress("dravelin /DisableProgressBytes"));
    EXPECT_TRUE(CDownloadOptions::CommandLineDisablesProgress("x--disableprogressbytesy"));
    EXPECT_FALSE(CDownloadOptions::CommandLineDisablesProgress("disable progress bytes"));
    EXPECT_FALSE(CDownloadOptions::CommandLineDisablesProgress(""));

    CDownloadOptions::Reset();
    const char* argvOff[] = {"dravelin", "--data-dir", "/tmp/x"};
    CDownloadOptions::ApplyCommandLine(3, argvOff);
    EXPECT_FALSE(CDownloadOptions::IsProgressDisabled());
    const char* argvOn[] = {"dravelin", "-DISABLEPROGRESSBYTES"};
    CDownloadOptions::ApplyCommandLine(2, argvOn);
    EXPECT_TRUE(CDownloadOptions::IsProgressDisabled());
    CDownloadOptions::Reset();
    EXPECT_FALSE(CDownloadOptions::IsProgressDisabled());
    EXPECT_EQ(CDownloadOptions::GetFailureWaitMs(), 5000);
}
} // namespace
