#include "download/TransferProgress.h"

#include <climits>
#include <cstdio>

namespace
{
// kB/s as the progress list shows them; a speed beyond the field's range
// cannot come from a real transfer, but must not wrap either.
int32_t KiloPerSecond(uint64_t nBytes, uint64_t nSeconds)
{
    const uint64_t nSpeed = nBytes / nSeconds / 1024u;
    return nSpeed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(nSpeed);
}
} // namespace

bool CTransferProgress::Step(int64_t nReceived, int64_t nRemaining, int64_t nElapsed, int64_t nBlock,
                             int32_t& nLastSpeed, std::string& strTimeLeft)
{
    if (nElapsed > 0 && nBlock > 0 && nReceived >= 0)
        nLastSpeed = KiloPerSecond(static_cast<uint64_t>(nReceived), static_cast<uint64_t>(nElapsed));
    // The last speed stays in force for an empty read (the end of the body),
    // which therefore still reports the final time remaining.
    if (nLastSpeed <= 0)
        return false;
    // Signed divisions, truncating toward zero.
    strTimeLeft = FormatTimeLeft((nRemaining / 1024) / nLastSpeed);
    return true;
}

bool CTransferProgress::Step(int32_t nReceived, int32_t nRemaining, int64_t nElapsed, int32_t nBlock,
                             int32_t& nLastSpeed, std::string& strTimeLeft)
{
    return Step(static_cast<int64_t>(static_cast<uint32_t>(nReceived)), static_cast<int64_t>(nRemaining),
                nElapsed, static_cast<int64_t>(nBlock), nLastSpeed, strTimeLeft);
}

std::string CTransferProgress::FormatTimeLeft(int64_t nSeconds)
{
    const long long nHours = nSeconds / 3600;
    const long long nMinutes = (nSeconds - 3600 * nHours) / 60;
    const long long nRest = nSeconds - 3600 * nHours - 60 * nMinutes;
    char szText[64];
    std::snprintf(szText, sizeof(szText), "%02lld:%02lld:%02lld", nHours, nMinutes, nRest);
    return szText;
}

int32_t CTransferProgress::AverageSpeed(int64_t nTotalSize, int64_t nElapsed)
{
    if (nElapsed <= 0 || nTotalSize <= 0)
        return 0;
    return KiloPerSecond(static_cast<uint64_t>(nTotalSize), static_cast<uint64_t>(nElapsed));
}
