#pragma once

#include <cstdint>
#include <string>

// Process-wide switches of the download workers. The front ends set them from
// their command line at start-up; tests shorten the waits through the setters
// so that the product's constants stay what they are.
class CDownloadOptions
{
public:
    // A failed attempt waits this long before it reports, so a retry never
    // starts sooner than this after a failure.
    static constexpr int64_t kFailureWaitMs = 5000;
    // An attempt that receives nothing for this long fails (then the normal
    // retry rules apply), so a stalled server never holds a worker forever.
    static constexpr int64_t kStallSeconds = 60;

    // "disableprogressbytes" anywhere in the command line, in any letter case,
    // turns off the speed and time-remaining reports.
    static void ApplyCommandLine(int argc, const char* const* argv);
    static bool CommandLineDisablesProgress(const std::string& strCommandLine);

    static void SetProgressDisabled(bool bDisabled);
    static bool IsProgressDisabled();

    static void SetFailureWaitMs(int64_t nMs);
    static int64_t GetFailureWaitMs();

    static void SetStallSeconds(int64_t nSeconds);
    static int64_t GetStallSeconds();

    // Back to the product's values.
    static void Reset();
};
