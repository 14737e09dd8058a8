#pragma once

// In-process gateway simulator: one HTTP server on loopback that answers every
// request Dravelin makes to the NewsGuy, NewsGuy Extra, WebUseNet and EasyNews
// header and download hosts, from a corpus generated from a numeric key.
// Tests, benchmarks and the demo mode start it on port 0 and point both the
// header host and the download host of an account at "127.0.0.1:<port>".
//
// Paths answered:
//   /news-bin/wwwlist?-s<letter><options>+<group>   NewsGuy listing (HTML)
//   /group.html?group=<group>                       302 to /g/<group>/0-1.html
//   /g/<group>/<n>-1.html                           EasyNews day page n (404 past the last day)
//   /news-bin/wwwdecode?<query>, /drn-bin/wwwdecode?<query>
//   /dl/<group>/<index>/<name>                      EasyNews decode path
//   /file/<group>/<index>/<name>                    redirect target (never redirects again)
//   /long-line                                      one overlong line (m_nLongLineBytes)

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Kinds of redirect a download can answer with.
enum GatewayRedirect : int32_t
{
    RedirectNone = 0,
    RedirectSameHost = 1,   // 302 to /file/... on this host
    RedirectOtherHost = 2,  // 302 to http://<other host>:<port>/file/... (m_strOtherHost)
    RedirectNoLocation = 3, // 302 without a Location header
    RedirectLoop = 4,       // 302 to the very same target, for ever
};

// File names a download can be served under instead of the article's own.
enum GatewayUnsafeName : int32_t
{
    UnsafeNameNone = 0,
    UnsafeNameParent = 1,   // "../../x"
    UnsafeNameAbsolute = 2, // "/etc/x"
    UnsafeNameControl = 3,  // control characters inside the name
    UnsafeNameEmpty = 4,    // ""
    UnsafeNameLong = 5,     // 300 bytes
};

// What goes wrong when an article is downloaded. All members off = a clean answer.
struct CGatewayFault
{
    int32_t m_nFailFirst = 0;         // answer 500 to the first N download requests, then serve
    int32_t m_nStatus = 0;            // answer this status (e.g. 503) to every download request
    bool m_bShortBody = false;        // Content-Length exact, body one byte short, connection closed
    bool m_bNoContentLength = false;  // body without Content-Length (connection closes at the end)
    GatewayRedirect m_nRedirect = RedirectNone;
    int64_t m_nThrottle = 0;          // bytes per second, 0 = as fast as possible
    int64_t m_nStallAfter = -1;       // after this many body bytes send nothing more (until stop)
    int64_t m_nDropAfter = -1;        // after this many body bytes close the connection
    GatewayUnsafeName m_nUnsafeName = UnsafeNameNone;
    bool m_bNoRange = false;          // ignore Range headers (always 200 with the whole body)
    bool m_bEmptyBody = false;        // 200 with "Content-Length: 0" and no body
    bool m_bNoDisposition = false;    // no Content-Disposition header: the answer names no file
    int32_t m_nRedirectStatus = 0;    // status of a redirect answer (301, 303, 307, 308); 0 = 302

    bool IsClean() const;
};

// One generated article, as the listings show it and as the download serves it.
struct CGatewayArticle
{
    std::string m_strGroup;
    int32_t m_nIndex = 0;            // position in the group, 0-based; the NewsGuy listing order
    int32_t m_nDay = 0;              // EasyNews day page (0 = today), also the age of the NewsGuy date
    uint64_t m_nBodyKey = 0;         // what the body bytes are generated from (GatewayBodyByte)

    // What a parser is expected to read (decoded, as a user sees it).
    std::string m_strSubject;        // NewsGuy subject, decoded (before any yEnc rewrite)
    std::string m_strAuthor;         // NewsGuy author, decoded
    std::string m_strEasySubject;    // EasyNews link text, decoded; ends with " - " and the size part
    std::string m_strEasyAuthor;     // EasyNews author a parser ends up with (inherited when the line has none)
    std::string m_strDate;           // NewsGuy date text "MM/DD"
    bool m_bComplete = true;         // NewsGuy completeness mark is "0" (blanks trimmed)
    std::string m_strCompleteMark;   // the mark as written: "0", " 0 ", "1", "00"
    std::string m_strSizeText;       // NewsGuy: "1.5K", "2.35M", "512B", "15K"
    std::string m_strEasySizeText;   // EasyNews: "12.3 MB", "850 KB", "512 B", "0 KB"
    int64_t m_nListedSize = 0;       // size the NewsGuy size rule yields for m_strSizeText
    int64_t m_nEasyListedSize = 0;   // size the EasyNews size rule yields for m_strEasySizeText
    std::string m_strDecodeQuery;    // NewsGuy: text after "wwwdecode?" in the link
    std::string m_strEasyQuery;      // EasyNews: the decoder query as a parser reduces the link (a path)
    int32_t m_nEasyLinkForm = 0;     // 0 absolute http:// link, 1 relative /path, 2 javascript:warnexe('...')

    // As written in the pages (HTML-escaped).
    std::string m_strSubjectHtml;    // NewsGuy BatchLink subject text (with \' and &amp;lt; escapes)
    std::string m_strAuthorHtml;     // NewsGuy title="..." text
    std::string m_strEasySubjectHtml;
    std::string m_strEasyAuthorHtml; // empty when the EasyNews line has no author

    // What a download serves.
    int64_t m_nSize = 0;             // body bytes = Content-Length (< 2^31 but for fixed-size groups)
    std::string m_strFileName;       // Content-Disposition file name (before any unsafe-name fault)
    std::string m_strETag;
    std::string m_strLastModified;
    CGatewayFault m_fault;           // faults this article carries in the corpus
};

// Byte of an article body at an offset: cheap, so tests can check a body
// without storing it.
uint8_t GatewayBodyByte(uint64_t nBodyKey, int64_t nOffset);
// Fills p with n body bytes starting at nOffset.
void GatewayFillBody(uint64_t nBodyKey, int64_t nOffset, char* p, size_t n);

// A newsgroup the simulator knows besides the standard ones.
struct CGatewayGroup
{
    std::string m_strName;
    int32_t m_nArticles = 0;
    int32_t m_nDays = 0;             // 0 = the simulator's m_nDays
    int64_t m_nMaxSize = 0;          // largest body; 0 = the standard size mix (bytes to gigabytes)
    bool m_bFaults = false;          // some articles carry corpus faults
    int64_t m_nFixedSize = 0;        // when > 0 every body has exactly this size (benchmarks)
};

struct CGatewayOptions
{
    std::string m_strBind = "127.0.0.1";
    int m_nPort = 0;                 // 0 = any free port
    uint64_t m_nCorpusKey = 1;
    int32_t m_nArticles = 200;       // articles of alt.test and alt.binaries.test
    int32_t m_nDays = 5;             // EasyNews day pages per group
    // Basic authentication: accepted user names and passwords; empty = no authentication.
    std::vector<std::pair<std::string, std::string>> m_users;
    std::string m_strRealm = "Dravelin Gateway";
    // Per path prefix realm, e.g. {"/news-bin/wwwdecode", "Downloads"}; first match wins.
    std::vector<std::pair<std::string, std::string>> m_realms;
    std::vector<CGatewayGroup> m_groups;   // extra groups (a standard name here replaces it)
    CGatewayFault m_fault;           // applied to every download that carries no fault of its own
    bool m_bRanges = true;           // answer Range requests with 206
    std::string m_strOtherHost = "other.invalid"; // host named by RedirectOtherHost
    int64_t m_nStallLimitMs = 30000; // a stalled answer gives up after this long (or at Stop)
    int m_nThreads = 16;             // server threads (stalled answers each hold one)
    // Body of the 404 answer past an EasyNews group's last day; empty = a plain "404 Not Found" page.
    std::string m_strMissingDayBody;
    // When set, the EasyNews group page answers with "Set-Cookie: " and this
    // ("name=value"); an empty value sets none.
    std::string m_strGroupCookie;
    // When > 0, "/long-line" answers with a line of this many "x" and then a
    // line "end" (sent piece by piece, never held whole).
    int64_t m_nLongLineBytes = 0;
};

// One request as the server received it.
struct CGatewayRequest
{
    std::string m_strMethod;
    std::string m_strTarget;         // request target as sent (path and query)
    std::string m_strHost;           // Host header
    bool m_bCredentials = false;     // an Authorization: Basic header was sent
    std::string m_strUser;           // its user name
    bool m_bAccepted = true;         // credentials accepted (or none needed)
    std::string m_strRange;          // Range header, empty when none
    std::string m_strIfRange;        // If-Range header
    std::string m_strCookie;         // Cookie header, empty when none
    int m_nStatus = 0;               // status answered
    std::chrono::system_clock::time_point m_time;
};

class CGatewaySimulator
{
public:
    // Standard groups: alt.test and alt.binaries.test (m_nArticles each; the first
    // ten articles are below 1,000,000 bytes, later ones range up to 2.1 GB),
    // alt.binaries.test.faults (65 articles up to 2 MB; index % 13 picks the fault:
    // 0 none, 1 fail first 2, 2 short body, 3 no Content-Length, 4 status 503,
    // 5 redirect same host, 6 redirect other host, 7 redirect without Location,
    // 8 throttle 256 KiB/s, 9 drop at half, 10 unsafe name, 11 stall after 1000 bytes,
    // 12 redirect loop), alt.binaries.empty (no articles),
    // alt.binaries.demo.pictures, alt.binaries.demo.music, alt.binaries.demo.linux-isos
    // (120 to 300 articles of 1 KB to a few MB each, for the demo mode).
    // Articles are ordered newest first: day = index * days / count.
    explicit CGatewaySimulator(CGatewayOptions options = {});
    ~CGatewaySimulator();
    CGatewaySimulator(const CGatewaySimulator&) = delete;
    CGatewaySimulator& operator=(const CGatewaySimulator&) = delete;

    // Binds and starts serving on background threads; returns the bound port, or 0 on failure.
    int Start();
    // Stops serving and joins the threads (stalled answers end at once). Safe to call twice.
    void Stop();
    int Port() const;
    // "127.0.0.1:<port>", what an account's header and download host fields take.
    std::string HostPort() const;
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;

    // The corpus.
    std::vector<std::string> GroupNames() const;
    bool HasGroup(const std::string& strGroup) const;
    int32_t ArticleCount(const std::string& strGroup) const;   // -1 for an unknown group
    int32_t DayCount(const std::string& strGroup) const;
    CGatewayArticle Article(const std::string& strGroup, int32_t nIndex) const;
    std::vector<CGatewayArticle> Articles(const std::string& strGroup) const;
    std::vector<CGatewayArticle> DayArticles(const std::string& strGroup, int32_t nDay) const;
    // The article a download target (NewsGuy query, /dl/ or /file/ path, full target) names.
    bool FindArticle(const std::string& strTarget, CGatewayArticle& article) const;
    // Body bytes of an article from offset nOffset, at most nLength bytes.
    std::string ExpectedBody(const CGatewayArticle& article, int64_t nOffset = 0, int64_t nLength = -1) const;
    // The name the download is served under (the article's, or the unsafe one of its fault).
    std::string ServedFileName(const CGatewayArticle& article) const;

    // Request targets, for tests that fetch by hand.
    static std::string NewsGuyListTarget(const std::string& strGroup);   // /news-bin/wwwlist?-sz,b1,o,n100000+<group>
    static std::string EasyNewsGroupTarget(const std::string& strGroup); // /group.html?group=<group>
    static std::string EasyNewsDayTarget(const std::string& strGroup, int32_t nDay);
    std::string NewsGuyDecodeTarget(const CGatewayArticle& article) const;   // /news-bin/wwwdecode?<query>
    std::string WebUseNetDecodeTarget(const CGatewayArticle& article) const; // /drn-bin/wwwdecode?<query>
    std::string EasyNewsDecodeTarget(const CGatewayArticle& article) const;  // /dl/...

    // Faults set at run time; they win over the corpus faults and m_fault.
    void SetArticleFault(const std::string& strGroup, int32_t nIndex, const CGatewayFault& fault);
    void ClearArticleFault(const std::string& strGroup, int32_t nIndex);
    void SetDefaultFault(const CGatewayFault& fault);   // replaces m_fault
    void ClearFaults();                                  // run-time faults and attempt counters
    // Download requests seen for an article (fail-first counts these).
    int32_t Attempts(const std::string& strGroup, int32_t nIndex) const;

    // Users may change while running.
    void SetUsers(std::vector<std::pair<std::string, std::string>> users);

    // The request log.
    std::vector<CGatewayRequest> Requests() const;
    size_t RequestCount() const;
    void ClearRequests();

private:
    class CImpl;
    std::unique_ptr<CImpl> m_pImpl;
};
