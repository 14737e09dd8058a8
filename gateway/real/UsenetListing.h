#pragma once

// The NewsGuy listing of a newsgroup, answered from an NNTP server: GROUP,
// then OVER over the newest articles in batches, the parts grouped into
// posted files as they arrive, and the page written as it grows, with
// "setProgress(" lines, so a client shows progress and rows while a big
// group is read.
//
// The request is "news-bin/wwwlist?-s" + sort letter + options + "+" + group.
// For a real group the options mean:
//   n<N>  list the newest N articles (posted files, not parts): the overview
//         is read from the newest number down until N are listed;
//   B     binaries only: text posts are left out;
//   the sort letter, b1 and o shaped the old service's page and change
//   nothing here: files are listed as they are completed.
// With the header cache, what was posted since the last listing is read
// from the server first (upwards from the stored high mark, so the stored
// run of numbers never has a gap), then the stored run, then the server
// again below it while fewer than N are listed.

#include "cache/HeaderCache.h"
#include "nntp/NntpPool.h"
#include "posts/PostGrouper.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SListingRequest
{
    std::string m_strGroup;
    char m_cSort = 'z';
    long long m_nNewest = 100000;
    bool m_bBinariesOnly = false;

    // The text after "wwwlist?"; false when it is not a listing request.
    static bool Parse(const std::string& strQuery, SListingRequest& request);
};

class CUsenetListing
{
public:
    using LogFn = std::function<void(const std::string&)>;

    // strLinkHost: the host the page's download links name; strCacheFile:
    // the server's header cache, "" for none.
    CUsenetListing(usenet::CNntpPool& pool, SListingRequest request, std::string strLinkHost,
                   std::string strCacheFile, LogFn log);
    ~CUsenetListing();

    // Selects the group. False when it cannot be read (no such group, no
    // permission, the server failed): the page is then the whole answer.
    bool Open(std::string& strPage);
    // Appends the next piece of the page (one batch of the overview); false
    // once the page is complete.
    bool Next(std::string& strOut);

    // Articles asked for per OVER command.
    static constexpr long long kBatch = 5000;

    // The page's parts, in the shape the NewsGuy listing parser reads.
    static std::string PageHeader(const std::string& strGroup);
    static std::string PageFooter();
    static std::string NoAccessPage(const std::string& strGroup);
    static std::string Progress(int nPercent);
    static std::string Entry(const usenet::SPostedFile& file, const std::string& strGroup, long long nId,
                             const std::string& strLinkHost);
    // "512B", "1.5K", "12.3M": decimal units, truncated to the last digit.
    static std::string SizeText(uint64_t nSize);
    // "MM/DD" (UTC) of a Date header; "" when it cannot be read.
    static std::string MonthDay(const std::string& strDate);

private:
    void Emit(usenet::SPostedFile&& file);
    void Plan(long long nLow, long long nHigh);
    void AddSpan(bool bCache, bool bDown, long long nFrom, long long nTo);

    usenet::CNntpPool& m_pool;
    SListingRequest m_request;
    std::string m_strLinkHost;
    std::string m_strCacheFile;
    LogFn m_log;
    std::unique_ptr<usenet::CNntpGroupReader> m_pReader;
    std::unique_ptr<usenet::CPostGrouper> m_pGrouper;
    std::unique_ptr<usenet::CHeaderCache> m_pCache;
    // What is read, in order: article numbers from the server or the cache,
    // upwards or downwards, in batches.
    struct SSpan
    {
        bool m_bCache = false;
        bool m_bDown = false;
        long long m_nFrom = 0; // inclusive
        long long m_nTo = 0;
        long long m_nNext = 0;
    };
    std::vector<SSpan> m_vecSpans;
    size_t m_nSpan = 0;
    long long m_nNumbers = 0; // in all spans
    long long m_nRead = 0;    // numbers read so far
    long long m_nLowestRead = 0;
    int m_nPercent = -1;
    int m_nStage = 0; // 0 not open, 1 reading, 2 done
    long long m_nEntries = 0;
    std::string* m_pOut = nullptr; // where emitted files are written
};
