#include "gateway/real/RealGateway.h"

#include "gateway/real/PartStream.h"
#include "gateway/real/UsenetListing.h"

#include "nzb/DecodeQuery.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace
{
std::string DecodeBase64(const std::string& strIn)
{
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut;
    uint32_t nBits = 0;
    int nCount = 0;
    for (char c : strIn)
    {
        const size_t n = kAlphabet.find(c);
        if (n == std::string::npos)
            continue; // padding
        nBits = (nBits << 6) | static_cast<uint32_t>(n);
        nCount += 6;
        if (nCount >= 8)
        {
            nCount -= 8;
            strOut += static_cast<char>((nBits >> nCount) & 0xFF);
        }
    }
    return strOut;
}

bool StartsWith(const std::string& str, const char* pszPrefix)
{
    return str.rfind(pszPrefix, 0) == 0;
}

// A strong validator for a file: the same query names the same parts.
std::string ETagOf(const std::string& strQuery)
{
    uint64_t nHash = 1469598103934665603ull;
    for (unsigned char c : strQuery)
        nHash = (nHash ^ c) * 1099511628211ull;
    char szTag[32];
    std::snprintf(szTag, sizeof(szTag), "\"%016llx\"", static_cast<unsigned long long>(nHash));
    return szTag;
}

void ErrorPage(httplib::Response& res, int nStatus, const std::string& strTitle)
{
    res.status = nStatus;
    res.set_content("<html><body><h1>" + std::to_string(nStatus) + " " + strTitle + "</h1></body></html>\n",
                    "text/html");
}

// What a provider writes per call: the library calls it again until the
// answer's length is reached.
constexpr size_t kPiece = 1024 * 1024;
} // namespace

class CRealGateway::CImpl
{
public:
    explicit CImpl(SRealGatewayOptions options)
        : m_options(std::move(options)), m_pPool(std::make_shared<usenet::CNntpPool>(m_options.m_server))
    {
        if (!m_options.m_log)
            m_options.m_log = [](const std::string& strLine) { std::cerr << "dravelin-gateway: " << strLine << "\n"; };
    }

    void Handle(const httplib::Request& req, httplib::Response& res);
    bool Authorized(const httplib::Request& req) const;
    void ServeFile(const httplib::Request& req, const std::string& strQuery, httplib::Response& res);
    void ServeListing(const httplib::Request& req, const std::string& strQuery, httplib::Response& res);
    std::string HostPort() const
    {
        const std::string strAddress =
            m_options.m_strBind == "0.0.0.0" || m_options.m_strBind.empty() ? "127.0.0.1" : m_options.m_strBind;
        return strAddress + ":" + std::to_string(m_nPort);
    }

    SRealGatewayOptions m_options;
    // The server that new answers fetch from (null: none, they get 503).
    // Swapped by SetServer; a running answer keeps the pool it started on.
    std::shared_ptr<usenet::CNntpPool> m_pPool;
    httplib::Server m_server;
    std::thread m_thread;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    // The streams of running answers, so that Stop can end them; also
    // guards m_pPool and m_options.m_server.
    std::mutex m_mutex;
    std::set<usenet::CPartStream*> m_streams;
};

bool CRealGateway::CImpl::Authorized(const httplib::Request& req) const
{
    if (m_options.m_users.empty())
        return true;
    const std::string strAuth = req.get_header_value("Authorization");
    if (!StartsWith(strAuth, "Basic "))
        return false;
    const std::string strPair = DecodeBase64(strAuth.substr(6));
    const size_t nColon = strPair.find(':');
    if (nColon == std::string::npos)
        return false;
    const std::string strUser = strPair.substr(0, nColon);
    const std::string strPassword = strPair.substr(nColon + 1);
    return std::any_of(m_options.m_users.begin(), m_options.m_users.end(),
                       [&](const auto& user) { return user.first == strUser && user.second == strPassword; });
}

void CRealGateway::CImpl::Handle(const httplib::Request& req, httplib::Response& res)
{
    std::string strTarget = req.target;
    // A target in absolute form ("http://host/path") counts by its path.
    const size_t nScheme = strTarget.find("://");
    if (nScheme != std::string::npos && strTarget.find('/') > nScheme)
    {
        const size_t nPath = strTarget.find('/', nScheme + 3);
        strTarget = nPath == std::string::npos ? std::string("/") : strTarget.substr(nPath);
    }
    const size_t nQuestion = strTarget.find('?');
    const std::string strPath = strTarget.substr(0, nQuestion);
    if (!Authorized(req))
    {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"" + m_options.m_strRealm + "\"");
        res.set_content("<html><body><h1>401 Authorization Required</h1></body></html>\n", "text/html");
    }
    else if (req.method != "GET" && req.method != "HEAD")
        ErrorPage(res, 405, "Method Not Allowed");
    else if ((strPath == "/news-bin/wwwdecode" || strPath == "/drn-bin/wwwdecode") && nQuestion != std::string::npos)
        ServeFile(req, strTarget.substr(nQuestion + 1), res);
    else if (strPath == "/news-bin/wwwlist" && nQuestion != std::string::npos)
        ServeListing(req, strTarget.substr(nQuestion + 1), res);
    else
        ErrorPage(res, 404, "Not Found");
    // The library slices any answer by the Range header; only a 206 may be.
    if (res.status != 206)
        const_cast<httplib::Request&>(req).ranges.clear();
}

void CRealGateway::CImpl::ServeFile(const httplib::Request& req, const std::string& strQuery,
                                    httplib::Response& res)
{
    usenet::CDecodeQuery query;
    std::string strError;
    if (!usenet::CDecodeQuery::Decode(strQuery, query, &strError))
    {
        m_options.m_log("bad decode query: " + strError);
        ErrorPage(res, 404, "Not Found");
        return;
    }
    const std::vector<int> vecMissing = query.GetMissing();
    if (!vecMissing.empty())
    {
        m_options.m_log("the file lacks " + std::to_string(vecMissing.size()) + " of its " +
                        std::to_string(query.GetPartCount()) + " parts (first missing: part " +
                        std::to_string(vecMissing.front()) + ")");
        ErrorPage(res, 404, "Incomplete File");
        return;
    }
    std::shared_ptr<usenet::CNntpPool> pPool;
    int nConnections = 1;
    {
        std::lock_guard lock(m_mutex);
        pPool = m_pPool;
        nConnections = std::max(1, m_options.m_server.m_nConnections);
    }
    if (!pPool)
    {
        ErrorPage(res, 503, "Service Unavailable");
        return;
    }
    const int nWindow = m_options.m_nWindow > 0 ? m_options.m_nWindow : 2 * nConnections;
    // The stream and the pool it fetches from go together: the pool's
    // connections close when the last answer that uses them has ended.
    struct SPooledStream
    {
        SPooledStream(std::shared_ptr<usenet::CNntpPool> pPool, std::vector<usenet::SSegmentRef> vecParts,
                      int nWindow, int nFetchers, usenet::CPartStream::LogFn log)
            : m_pPool(std::move(pPool)),
              m_stream(*m_pPool, std::move(vecParts), nWindow, nFetchers, std::move(log))
        {
        }
        std::shared_ptr<usenet::CNntpPool> m_pPool;
        usenet::CPartStream m_stream;
    };
    auto pPooled =
        std::make_shared<SPooledStream>(pPool, query.m_vecSegments, nWindow, nConnections, m_options.m_log);
    std::shared_ptr<usenet::CPartStream> pStream(pPooled, &pPooled->m_stream);
    bool bMissing = false;
    if (!pStream->Open(strError, bMissing))
    {
        m_options.m_log(strError);
        if (bMissing)
            ErrorPage(res, 404, "Not Found");
        else
            ErrorPage(res, 502, "Bad Gateway");
        return;
    }
    const uint64_t nSize = pStream->GetFileSize();
    const std::string strName = CRealGateway::SafeName(pStream->First().m_info.m_strName);
    const std::string strETag = ETagOf(strQuery);
    res.set_header("Content-Disposition", "attachment; filename=\"" + strName + "\"");
    res.set_header("ETag", strETag);
    res.set_header("Accept-Ranges", "bytes");
    res.status = 200;
    if (req.ranges.size() == 1)
    {
        const std::string strIfRange = req.get_header_value("If-Range");
        if (strIfRange.empty() || strIfRange == strETag)
        {
            const auto [nFirst, nLast] = req.ranges[0];
            if (nFirst < 0 || static_cast<uint64_t>(nFirst) >= nSize)
            {
                // Suffix ranges ("bytes=-N") are not what a resume sends.
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(nSize));
                res.set_content("", "text/plain");
                return;
            }
            res.status = 206; // the library writes Content-Range and the range's length
        }
    }
    if (req.method == "HEAD")
    {
        res.set_header("Content-Length", std::to_string(nSize));
        return;
    }

    struct CSending
    {
        std::shared_ptr<usenet::CPartStream> m_pStream;
        bool m_bStarted = false;
        usenet::SDecodedPart m_part;
        size_t m_nPos = 0; // in m_part.m_strData
        std::string m_strName;
    };
    auto pSending = std::make_shared<CSending>();
    pSending->m_pStream = pStream;
    pSending->m_strName = strName;
    {
        std::lock_guard lock(m_mutex);
        m_streams.insert(pStream.get());
    }
    res.set_content_provider(
        static_cast<size_t>(nSize), "application/octet-stream",
        [this, pSending](size_t nOffset, size_t nLength, httplib::DataSink& sink) -> bool
        {
            CSending& s = *pSending;
            if (m_bStopping)
                return false;
            if (!s.m_bStarted)
            {
                s.m_bStarted = true;
                s.m_pStream->Seek(nOffset);
            }
            if (s.m_nPos >= s.m_part.m_strData.size())
            {
                std::string strFailure;
                if (!s.m_pStream->Next(s.m_part, strFailure))
                {
                    // Closing short of the length: the client sees a failed transfer.
                    if (!strFailure.empty() && strFailure != "cancelled")
                        m_options.m_log("\"" + s.m_strName + "\": " + strFailure + "; the transfer ends at byte " +
                                        std::to_string(nOffset));
                    return false;
                }
                s.m_nPos = nOffset > s.m_part.m_nBegin ? static_cast<size_t>(nOffset - s.m_part.m_nBegin) : 0;
            }
            const size_t n = std::min({kPiece, nLength, s.m_part.m_strData.size() - s.m_nPos});
            if (!sink.write(s.m_part.m_strData.data() + s.m_nPos, n))
                return false;
            s.m_nPos += n;
            return true;
        },
        [this, pStream](bool)
        {
            pStream->Cancel();
            std::lock_guard lock(m_mutex);
            m_streams.erase(pStream.get());
        });
}

void CRealGateway::CImpl::ServeListing(const httplib::Request& req, const std::string& strQuery,
                                       httplib::Response& res)
{
    SListingRequest request;
    if (!SListingRequest::Parse(strQuery, request))
    {
        ErrorPage(res, 404, "Not Found");
        return;
    }
    std::string strHost = req.get_header_value("Host");
    if (strHost.empty() || strHost.find_first_of("\"<> ") != std::string::npos)
        strHost = HostPort();
    std::shared_ptr<usenet::CNntpPool> pPool;
    std::string strCacheFile;
    {
        std::lock_guard lock(m_mutex);
        pPool = m_pPool;
        strCacheFile = m_options.m_strCacheFile;
    }
    if (!pPool)
    {
        ErrorPage(res, 503, "Service Unavailable");
        return;
    }
    auto pListing = std::make_shared<CUsenetListing>(*pPool, request, strHost, strCacheFile, m_options.m_log);
    std::string strPage;
    res.status = 200;
    if (!pListing->Open(strPage) || req.method == "HEAD")
    {
        res.set_content(strPage, "text/html");
        return;
    }
    // Streamed batch by batch: the client's rows and progress move while a
    // big group is read, and the page never sits in memory whole.
    auto pFirst = std::make_shared<std::string>(std::move(strPage));
    res.set_chunked_content_provider(
        "text/html",
        // The pool goes with the listing: a server change lets it finish.
        [this, pPool, pListing, pFirst](size_t, httplib::DataSink& sink) -> bool
        {
            if (m_bStopping)
                return false;
            std::string strOut;
            strOut.swap(*pFirst);
            const bool bMore = pListing->Next(strOut);
            if (!strOut.empty() && !sink.write(strOut.data(), strOut.size()))
                return false;
            if (!bMore)
                sink.done();
            return true;
        });
}

CRealGateway::CRealGateway(SRealGatewayOptions options) : m_pImpl(std::make_unique<CImpl>(std::move(options))) {}

CRealGateway::~CRealGateway()
{
    Stop();
}

int CRealGateway::Start()
{
    CImpl& impl = *m_pImpl;
    if (impl.m_thread.joinable())
        return impl.m_nPort;
    const int nThreads = std::max(2, impl.m_options.m_nThreads);
    impl.m_server.new_task_queue = [nThreads] { return new httplib::ThreadPool(static_cast<size_t>(nThreads)); };
    impl.m_server.set_keep_alive_max_count(1000);
    impl.m_server.set_keep_alive_timeout(5);
    impl.m_server.set_read_timeout(30);
    impl.m_server.set_write_timeout(30);
    impl.m_server.set_tcp_nodelay(true);
    // Without SO_REUSEPORT: a busy port must fail, not be shared.
    impl.m_server.set_socket_options([](socket_t sock) {
        int nYes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &nYes, sizeof nYes);
    });
    impl.m_server.set_pre_routing_handler([&impl](const httplib::Request& req, httplib::Response& res) {
        impl.Handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    if (impl.m_options.m_nPort == 0)
        impl.m_nPort = impl.m_server.bind_to_any_port(impl.m_options.m_strBind);
    else
        impl.m_nPort = impl.m_server.bind_to_port(impl.m_options.m_strBind, impl.m_options.m_nPort)
                           ? impl.m_options.m_nPort
                           : -1;
    if (impl.m_nPort <= 0)
    {
        impl.m_nPort = 0;
        return 0;
    }
    impl.m_bStopping = false;
    impl.m_thread = std::thread([&impl] { impl.m_server.listen_after_bind(); });
    // Stop() right after Start() must find the server running, or it would not end it.
    for (int i = 0; i < 2000 && !impl.m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return impl.m_nPort;
}

void CRealGateway::Stop()
{
    CImpl& impl = *m_pImpl;
    if (!impl.m_thread.joinable())
        return;
    impl.m_bStopping = true;
    {
        std::lock_guard lock(impl.m_mutex);
        for (usenet::CPartStream* pStream : impl.m_streams)
            pStream->Cancel();
    }
    impl.m_server.stop();
    impl.m_thread.join();
}

void CRealGateway::SetServer(const usenet::SServerConfig& server, std::string strCacheFile)
{
    CImpl& impl = *m_pImpl;
    auto pPool = std::make_shared<usenet::CNntpPool>(server);
    std::shared_ptr<usenet::CNntpPool> pOld;
    std::lock_guard lock(impl.m_mutex);
    pOld = std::exchange(impl.m_pPool, std::move(pPool));
    impl.m_options.m_server = server;
    impl.m_options.m_strCacheFile = std::move(strCacheFile);
}

void CRealGateway::DropServer()
{
    CImpl& impl = *m_pImpl;
    std::shared_ptr<usenet::CNntpPool> pOld;
    std::lock_guard lock(impl.m_mutex);
    pOld = std::move(impl.m_pPool);
}

int CRealGateway::Port() const
{
    return m_pImpl->m_nPort;
}

std::string CRealGateway::HostPort() const
{
    return m_pImpl->HostPort();
}

std::string CRealGateway::SafeName(const std::string& strName)
{
    std::string strBase = strName.substr(strName.find_last_of("/\\") == std::string::npos
                                             ? 0
                                             : strName.find_last_of("/\\") + 1);
    std::string strSafe;
    for (char c : strBase)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        strSafe += u < 0x20 || u == 0x7F || c == '"' ? '_' : c;
    }
    while (!strSafe.empty() && (strSafe.back() == ' ' || strSafe.back() == '.'))
        strSafe.pop_back();
    if (strSafe.empty() || strSafe == "..")
        strSafe.assign("download.bin");
    return strSafe;
}
