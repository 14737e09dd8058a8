#include "download/DownloadOptions.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace
{
std::atomic<bool> g_bProgressDisabled{false};
std::atomic<int64_t> g_nFailureWaitMs{CDownloadOptions::kFailureWaitMs};
std::atomic<int64_t> g_nStallSeconds{CDownloadOptions::kStallSeconds};
} // namespace

bool CDownloadOptions::CommandLineDisablesProgress(const std::string& strCommandLine)
{
    std::string strLower(strCommandLine);
    std::transform(strLower.begin(), strLower.end(), strLower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strLower.find("disableprogressbytes") != std::string::npos;
}

void CDownloadOptions::ApplyCommandLine(int argc, const char* const* argv)
{
    std::string strCommandLine;
    for (int i = 1; i < argc; ++i)
    {
        if (argv[i] == nullptr)
            continue;
        strCommandLine += argv[i];
        strCommandLine += ' ';
    }
    if (CommandLineDisablesProgress(strCommandLine))
        SetProgressDisabled(true);
}

void CDownloadOptions::SetProgressDisabled(bool bDisabled)
{
    g_bProgressDisabled.store(bDisabled);
}

bool CDownloadOptions::IsProgressDisabled()
{
    return g_bProgressDisabled.load();
}

void CDownloadOptions::SetFailureWaitMs(int64_t nMs)
{
    g_nFailureWaitMs.store(std::max<int64_t>(0, nMs));
}

int64_t CDownloadOptions::GetFailureWaitMs()
{
    return g_nFailureWaitMs.load();
}

void CDownloadOptions::SetStallSeconds(int64_t nSeconds)
{
    g_nStallSeconds.store(std::max<int64_t>(1, nSeconds));
}

int64_t CDownloadOptions::GetStallSeconds()
{
    return g_nStallSeconds.load();
}

void CDownloadOptions::Reset()
{
    g_bProgressDisabled.store(false);
    g_nFailureWaitMs.store(kFailureWaitMs);
    g_nStallSeconds.store(kStallSeconds);
}
