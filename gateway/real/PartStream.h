#pragma once

// The decoded bytes of one posted file, part after part, fetched across an
// NNTP pool. A bounded window of parts is in flight at once; a part that
// arrives early waits in the window until the ones before it have been
// handed out, so the output is always in part order and never the whole
// file in memory.

#include "nntp/NntpPool.h"
#include "nzb/DecodeQuery.h"
#include "yenc/YencDecoder.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace usenet
{

// One part as decoded: where it lies in the file (0-based, end exclusive).
struct SDecodedPart
{
    int m_nNumber = 0;
    uint64_t m_nBegin = 0;
    uint64_t m_nEnd = 0;
    uint32_t m_nCrc = 0;
    SYencInfo m_info;
    std::string m_strData;
};

class CPartStream
{
public:
    using LogFn = std::function<void(const std::string&)>;

    // nWindow: parts in flight or waiting at most; nFetchers: parallel fetches.
    CPartStream(CNntpPool& pool, std::vector<SSegmentRef> vecParts, int nWindow, int nFetchers, LogFn log);
    ~CPartStream();
    CPartStream(const CPartStream&) = delete;
    CPartStream& operator=(const CPartStream&) = delete;

    // Fetches the first part: what the whole file is (name, size) comes from
    // its =ybegin line. False with the reason when it cannot be had; bMissing
    // tells a part the server does not have from other failures.
    bool Open(std::string& strError, bool& bMissing);
    const SDecodedPart& First() const { return m_first; }
    uint64_t GetFileSize() const { return m_first.m_info.m_nFileSize; }

    // Starts the delivery at byte nOffset of the file: whole parts before it
    // are not fetched.
    void Seek(uint64_t nOffset);
    // The next part that holds bytes at or after the current position, in
    // order. False at the end (strError empty) or on a failure (strError
    // names the part). The part's bytes before the position are still in it:
    // the caller skips them.
    bool Next(SDecodedPart& part, std::string& strError);
    // Ends the fetchers early (the client went away, the gateway stops).
    void Cancel();

private:
    struct SSlot
    {
        bool m_bOk = false;
        SDecodedPart m_part;
        std::string m_strError;
    };

    // Fetches and decodes part nIndex (of m_vecParts); a part that fails its
    // check, or is not found, is asked for once more.
    SSlot Fetch(size_t nIndex, bool* pbMissing = nullptr);
    void Restart(size_t nIndex);
    void StopFetchers();
    void FetcherLoop();

    CNntpPool& m_pool;
    std::vector<SSegmentRef> m_vecParts;
    size_t m_nWindow;
    int m_nFetchers;
    LogFn m_log;
    SDecodedPart m_first;
    bool m_bFirstUnused = true; // m_first can still be handed out as part 0

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::thread> m_vecThreads;
    std::map<size_t, SSlot> m_ready;
    size_t m_nNextFetch = 0;
    size_t m_nNextDeliver = 0;
    uint64_t m_nPosition = 0;
    bool m_bSeeking = false; // the part holding the position was not found yet
    bool m_bStop = false;
    bool m_bCancelled = false;
    int m_nGeneration = 0; // bumped by a restart: fetches of an older one are dropped
};

} // namespace usenet
