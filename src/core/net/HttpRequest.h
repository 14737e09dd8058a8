#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CHttpConnection;
class CManualResetEvent;

// One GET on a connection. Sending runs the transfer until the final response
// headers are in; the body is then pulled by the caller, line by line or
// block by block, while libcurl (multi interface, in the calling thread)
// fills a bounded receive buffer and is paused when the caller falls behind.
// Never throws for network failures: they show as false / -1 and HasFailed().
class CHttpRequest
{
public:
    CHttpRequest(CHttpConnection& connection, const std::string& strObject, uint32_t nFlags,
                 bool bAutoRedirect);
    virtual ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // Sends (or re-sends, after a login was set) the request and waits for the
    // final response headers. False on a network failure before them.
    bool Send();
    // Extra header lines ("Name: value") sent with this request from the next
    // Send on; CR and LF are dropped from them.
    void SetRequestHeaders(const std::vector<std::string>& headers);
    // Ends the transfer; the connection stays open for the next request of
    // the session when the response was read to its end.
    void Close();

    // The next body line without its LF (and a CR before it); a last line
    // without LF is delivered too. A line longer than kMaxLine comes as its
    // first kMaxLine bytes; the rest of it is dropped unread into memory.
    // False at the end of the body or on failure.
    bool ReadLine(std::string& strLine);
    // Fills pBuffer with up to nSize body bytes, less only at the end of the
    // body. Returns the count (0 at the end), or -1 on a network failure
    // (bytes received before a failure are returned first).
    int64_t ReadBlock(void* pBuffer, size_t nSize);
    // As ReadBlock, but the body bytes go to consume as they arrive, straight
    // from libcurl's buffer (a download writes them to its file without a copy
    // in between). Stops early when consume returns false; the bytes of that
    // call are not counted. Returns the count consumed (0 at the end), or -1
    // on a network failure before any byte.
    using BodyConsumer = std::function<bool(const char* pData, size_t nLen)>;
    int64_t ReadBlockTo(const BodyConsumer& consume, size_t nSize);

    // Response of the last Send.
    long GetStatusCode() const { return m_nStatusCode; }
    // Status line and header lines of the final response, each ending in CR LF.
    const std::string& GetRawHeaders() const { return m_strRawHeaders; }
    // The value of a response header (name without case), trimmed; false when absent.
    bool QueryHeader(std::string_view strName, std::string& strValue) const;
    // Content-Length, -1 when absent or not a number.
    int64_t GetContentLength() const;
    // The address finally answered (after redirects libcurl followed).
    std::string GetEffectiveUrl() const;
    // The object this request asked for, as given.
    const std::string& GetObject() const { return m_strObject; }
    // The request target as sent ("/..." without CR, LF, blanks or controls).
    const std::string& GetTarget() const { return m_strTarget; }

    bool HasFailed() const;
    int GetErrorCode() const { return m_nResult; }
    std::string GetErrorText() const;
    // What went wrong, in words for the status window: "connection refused
    // by host:port", "host not found: host", "the transfer stalled..."; ""
    // when nothing failed.
    std::string DescribeFailure() const;
    // The body ended before its Content-Length.
    bool EndedEarly() const;

    // The receive buffer pauses the transfer above this many unread bytes.
    static constexpr size_t kHighWater = 2u * 1024u * 1024u;
    // The longest line ReadLine delivers.
    static constexpr size_t kMaxLine = 1024u * 1024u;

    // A request target from an object: "/" in front when missing; CR and LF
    // dropped; blanks, controls, '#' and bytes above 127 percent-encoded.
    static std::string MakeTarget(const std::string& strObject);

    // The pieces of the response head's reading, over text as GetRawHeaders
    // gives it: the code of a status line ("HTTP/1.1 200 OK" is 200; 0 when
    // it names no code from 100 to 999), a header's trimmed value, Content-Length (-1 when absent
    // or not a number).
    static long ParseStatusCode(std::string_view statusLine);
    static bool FindHeader(std::string_view rawHeaders, std::string_view strName, std::string& strValue);
    static int64_t ContentLengthOf(std::string_view rawHeaders);

private:
    static size_t HeaderCallback(char* pData, size_t nSize, size_t nCount, void* pThis);
    static size_t WriteCallback(char* pData, size_t nSize, size_t nCount, void* pThis);
    void OnHeaderLine(std::string_view line);
    size_t OnBody(const char* pData, size_t nLen);
    void Setup();
    void Detach(bool bDrain);
    // Runs the transfer until bUntilHeaders ? headers done : unread data,
    // or the transfer ends.
    void Pump(bool bUntilHeaders);
    void CheckDone();
    size_t Available() const { return m_buf.size() - m_nPos; }

    CHttpConnection& m_connection;
    std::string m_strObject;
    std::string m_strTarget;
    uint32_t m_nFlags;
    bool m_bAutoRedirect;

    bool m_bAttached = false;
    bool m_bHeadersDone = false;
    bool m_bDone = false;
    bool m_bPaused = false;
    bool m_bHasLocation = false;
    int m_nResult = 0;
    long m_nStatusCode = 0;
    std::string m_strRawHeaders;
    std::string m_buf;
    size_t m_nPos = 0;
    size_t m_nScan = 0; // where the search for the next LF goes on
    size_t m_nWant = 0; // unread bytes the caller waits for
    bool m_bSkipLine = false; // the rest of an overlong line is being dropped
    int64_t m_nBodyBytes = 0;
    // ReadBlock's buffer while it waits: body bytes go there directly.
    char* m_pDirect = nullptr;
    size_t m_nDirectLeft = 0;
    // ReadBlockTo's consumer while it waits.
    const BodyConsumer* m_pConsume = nullptr;
    size_t m_nConsumeLeft = 0;
    size_t m_nConsumed = 0;
    bool m_bConsumeFailed = false;
    std::vector<std::string> m_extraHeaders;
    void* m_pHeaderList = nullptr; // curl_slist* of m_extraHeaders while attached
};
