#include "download/TransferProgress.h"

#include <cstdio>

bool CTransferProgress::Step(int32_t nReceived, int32_t nRemaining, int64_t nElapsed, int32_t nBlock,
                             int32_t& nLastSpeed, std::string& strTimeLeft)
{
    if (nElapsed > 0 && nBlock > 0)
    {
        // Unsigned divisions: the byte count as an unsigned 32-bit number.
        uint32_t nPerSecond = static_cast<uint32_t>(nReceived) / static_cast<uint32_t>(nElapsed);
        nLastSpeed = static_cast<int32_t>(nPerSecond / 1024u);
    }
    // The last speed stays in force for an empty read (the end of the body),
    // which therefore still reports the final time remaining.
    if (nLastSpeed <= 0)
        return false;
    // Signed divisions, truncating toward zero.
    int32_t nSecondsLeft = (nRemaining / 1024) / nLastSpeed;
    strTimeLeft = FormatTimeLeft(nSecondsLeft);
    return true;
}

std::string CTransferProgress::FormatTimeLeft(int32_t nSeconds)
{
    int32_t nHours = nSeconds / 3600;
    int32_t nMinutes = (nSeconds - 3600 * nHours) / 60;
    int32_t nRest = nSeconds - 3600 * nHours - 60 * nMinutes;
    char szText[48];
    std::snprintf(szText, sizeof(szText), "%02d:%02d:%02d", nHours, nMinutes, nRest);
    return szText;
}

int32_t CTransferProgress::AverageSpeed(int32_t nTotalSize, int64_t nElapsed)
{
    if (nElapsed <= 0 || nTotalSize <= 0)
        return 0;
    uint32_t nPerSecond = static_cast<uint32_t>(nTotalSize) / static_cast<uint32_t>(nElapsed);
    return static_cast<int32_t>(nPerSecond / 1024u);
}
