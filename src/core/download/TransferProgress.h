#pragma once

#include <cstdint>
#include <string>

// The speed and time-remaining arithmetic of a download, kept apart from the
// worker so it can be checked on its own. Integer divisions truncate, as the
// progress list has always shown them. Byte counts are 64-bit, so files
// above 2 GiB show the right figures.
class CTransferProgress
{
public:
    // One progress step after a block of nBlock bytes. nElapsed is whole
    // seconds since the start. Returns true when the article's speed and time
    // remaining change and should be reported. The speed is measured again only
    // when a second or more has passed and the block was not empty; otherwise
    // the last speed stays. Nothing is reported while the last speed is 0.
    static bool Step(int64_t nReceived, int64_t nRemaining, int64_t nElapsed, int64_t nBlock,
                     int32_t& nLastSpeed, std::string& strTimeLeft);
    // The same for 32-bit counters, whose received count reads as unsigned
    // (a count that ran past 2 GiB wrapped).
    static bool Step(int32_t nReceived, int32_t nRemaining, int64_t nElapsed, int32_t nBlock,
                     int32_t& nLastSpeed, std::string& strTimeLeft);

    // "%02d:%02d:%02d" of a number of seconds; hours may take more digits.
    static std::string FormatTimeLeft(int64_t nSeconds);

    // The average of the "Download complete. Average: %dkB/s" line: the total
    // size over the whole time, 0 when either is not above 0.
    static int32_t AverageSpeed(int64_t nTotalSize, int64_t nElapsed);
};
