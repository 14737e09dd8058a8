#include "gateway/GatewaySimulator.h"

#include "gateway/GatewayCorpus.h"
#include "gateway/ListingPage.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace
{
bool StartsWith(const std::string& str, const char* pszPrefix)
{
    return str.rfind(pszPrefix, 0) == 0;
}

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
            continue; // padding and blanks
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

// A target in absolute form ("http://host/path") reduced to its path; a
// client that follows a redirect by reusing its connection sends these.
std::string OriginTarget(const std::string& strTarget)
{
    const size_t nScheme = strTarget.find("://");
    if (nScheme == std::string::npos || strTarget.find('/') < nScheme)
        return strTarget;
    const size_t nPath = strTarget.find('/', nScheme + 3);
    return nPath == std::string::npos ? std::string("/") : strTarget.substr(nPath);
}

std::string UnsafeName(GatewayUnsafeName nKind)
{
    switch (nKind)
    {
    case UnsafeNameParent: return "../../x";
    case UnsafeNameAbsolute: return "/etc/x";
    case UnsafeNameControl: return std::string("bad\x01name\x1f\x7f.txt");
    case UnsafeNameEmpty: return "";
    case UnsafeNameLong: return std::string(296, 'n') + ".bin";
    default: return "";
    }
}

void SleepUnlessStopping(const std::atomic<bool>& bStopping, std::chrono::microseconds wait)
{
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!bStopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
            std::chrono::duration_cast<std::chrono::microseconds>(until - std::chrono::steady_clock::now()),
            std::chrono::milliseconds(20)));
}
} // namespace

class CGatewaySimulator::CImpl
{
public:
    explicit CImpl(CGatewayOptions options)
        : m_options(std::move(options)),
          m_corpus(m_options.m_nCorpusKey, m_options.m_nArticles, m_options.m_nDays, m_options.m_groups),
          m_defaultFault(m_options.m_fault), m_users(m_options.m_users)
    {
    }

    void Handle(const httplib::Request& req, httplib::Response& res);
    bool Authorized(const httplib::Request& req, CGatewayRequest& entry);
    void ServeNewsGuyListing(const std::string& strTarget, const std::string& strHost, httplib::Response& res);
    void ServeEasyNewsGroup(const std::string& strTarget, const std::string& strHost, httplib::Response& res);
    void ServeEasyNewsDay(const std::string& strTarget, const std::string& strHost, httplib::Response& res);
    void ServeLongLine(httplib::Response& res);
    void ServeDownload(const httplib::Request& req, const std::string& strTarget, const std::string& strHost,
                       httplib::Response& res);
    void StreamPage(std::shared_ptr<CListingPage> page, httplib::Response& res);
    void ServeBody(const CGatewayArticle& article, const CGatewayFault& fault, bool bWithLength,
                   httplib::Response& res);
    std::string RealmFor(const std::string& strPath) const;
    std::string HostPort() const;

    CGatewayOptions m_options;
    CGatewayCorpus m_corpus;
    httplib::Server m_server;
    std::thread m_thread;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};

    mutable std::mutex m_lock; // guards everything below
    std::vector<CGatewayRequest> m_requests;
    std::map<std::pair<std::string, int32_t>, CGatewayFault> m_faults;
    std::map<std::pair<std::string, int32_t>, int32_t> m_attempts;
    CGatewayFault m_defaultFault;
    std::vector<std::pair<std::string, std::string>> m_users;
};

std::string CGatewaySimulator::CImpl::HostPort() const
{
    const std::string strAddress =
        m_options.m_strBind == "0.0.0.0" || m_options.m_strBind.empty() ? "127.0.0.1" : m_options.m_strBind;
    return strAddress + ":" + std::to_string(m_nPort);
}

std::string CGatewaySimulator::CImpl::RealmFor(const std::string& strPath) const
{
    for (const auto& [strPrefix, strRealm] : m_options.m_realms)
        if (StartsWith(strPath, strPrefix.c_str()))
            return strRealm;
    return m_options.m_strRealm;
}

bool CGatewaySimulator::CImpl::Authorized(const httplib::Request& req, CGatewayRequest& entry)
{
    const std::string strAuth = req.get_header_value("Authorization");
    std::string strUser, strPassword;
    if (StartsWith(strAuth, "Basic "))
    {
        const std::string strPair = DecodeBase64(strAuth.substr(6));
        const size_t nColon = strPair.find(':');
        strUser = strPair.substr(0, nColon);
        strPassword = nColon == std::string::npos ? std::string() : strPair.substr(nColon + 1);
        entry.m_bCredentials = true;
        entry.m_strUser = strUser;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_users.empty())
        return true;
    if (!entry.m_bCredentials)
        return false;
    return std::any_of(m_users.begin(), m_users.end(),
                       [&](const auto& user) { return user.first == strUser && user.second == strPassword; });
}

void CGatewaySimulator::CImpl::Handle(const httplib::Request& req, httplib::Response& res)
{
    CGatewayRequest entry;
    entry.m_strMethod = req.method;
    entry.m_strTarget = req.target;
    entry.m_strHost = req.get_header_value("Host");
    entry.m_strRange = req.get_header_value("Range");
    entry.m_strIfRange = req.get_header_value("If-Range");
    entry.m_strCookie = req.get_header_value("Cookie");
    entry.m_time = std::chrono::system_clock::now();
    const std::string strTarget = OriginTarget(req.target);
    const std::string strHost = entry.m_strHost.empty() ? HostPort() : entry.m_strHost;
    const std::string strPath = strTarget.substr(0, strTarget.find('?'));

    // Only a download answers a range; everything else ignores the header.
    bool bDownload = false;
    entry.m_bAccepted = Authorized(req, entry);
    if (!entry.m_bAccepted)
    {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"" + RealmFor(strPath) + "\"");
        res.set_content("<html><body><h1>401 Authorization Required</h1></body></html>\n", "text/html");
    }
    else if (req.method != "GET" && req.method != "HEAD")
    {
        res.status = 405;
        res.set_content("Method not allowed\n", "text/plain");
    }
    else if (StartsWith(strPath, "/news-bin/wwwlist"))
        ServeNewsGuyListing(strTarget, strHost, res);
    else if (strPath == "/group.html")
        ServeEasyNewsGroup(strTarget, strHost, res);
    else if (StartsWith(strPath, "/g/"))
        ServeEasyNewsDay(strTarget, strHost, res);
    else if (strPath == "/long-line" && m_options.m_nLongLineBytes > 0)
        ServeLongLine(res);
    else if (StartsWith(strPath, "/news-bin/wwwdecode") || StartsWith(strPath, "/drn-bin/wwwdecode") ||
             StartsWith(strPath, "/dl/") || StartsWith(strPath, "/file/"))
    {
        bDownload = true;
        ServeDownload(req, strTarget, strHost, res);
    }
    else
    {
        res.status = 404;
        res.set_content("<html><body><h1>404 Not Found</h1></body></html>\n", "text/html");
    }
    if (!bDownload || res.status != 206)
    {
        // The server library slices any answer by the parsed Range header;
        // only a 206 download may be sliced. The request object is the
        // library's own mutable one, handed to us as const.
        const_cast<httplib::Request&>(req).ranges.clear();
    }
    entry.m_nStatus = res.status == -1 ? 200 : res.status;
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.push_back(std::move(entry));
}

void CGatewaySimulator::CImpl::ServeNewsGuyListing(const std::string& strTarget, const std::string& strHost,
                                                   httplib::Response& res)
{
    // "?-s" + sort letter + options + "+" + group: the options end at the first "+".
    const size_t nQuery = strTarget.find('?');
    const size_t nPlus = nQuery == std::string::npos ? std::string::npos : strTarget.find('+', nQuery);
    const std::string strGroup =
        nPlus == std::string::npos ? std::string() : CGatewayCorpus::UnescapeText(strTarget.substr(nPlus + 1));
    const CGatewayGroup* pGroup = m_corpus.FindGroup(strGroup);
    StreamPage(std::make_shared<CListingPage>(m_corpus, pGroup, CListingPage::KindNewsGuy, 0, strHost), res);
}

void CGatewaySimulator::CImpl::StreamPage(std::shared_ptr<CListingPage> page, httplib::Response& res)
{
    // Pieces stay well below the allocator's mmap threshold and reuse one
    // buffer: large short-lived buffers cost page faults on every piece.
    auto buffer = std::make_shared<std::string>();
    res.status = 200;
    res.set_chunked_content_provider("text/html", [this, page, buffer](size_t, httplib::DataSink& sink) {
        if (m_bStopping)
            return false;
        buffer->clear();
        const bool bMore = page->Next(*buffer, 48 * 1024);
        if (!buffer->empty() && !sink.write(buffer->data(), buffer->size()))
            return false;
        if (!bMore)
            sink.done();
        return true;
    });
}

void CGatewaySimulator::CImpl::ServeEasyNewsGroup(const std::string& strTarget, const std::string& strHost,
                                                  httplib::Response& res)
{
    const size_t nGroup = strTarget.find("group=");
    std::string strGroup = nGroup == std::string::npos ? std::string() : strTarget.substr(nGroup + 6);
    strGroup = CGatewayCorpus::UnescapeText(strGroup.substr(0, strGroup.find('&')));
    res.status = 302;
    res.set_header("Location", "http://" + strHost + EasyNewsDayTarget(strGroup, 0));
    if (!m_options.m_strGroupCookie.empty())
        res.set_header("Set-Cookie", m_options.m_strGroupCookie + "; Path=/");
    res.set_content("<html><body>Moved</body></html>\n", "text/html");
}

void CGatewaySimulator::CImpl::ServeEasyNewsDay(const std::string& strTarget, const std::string& strHost,
                                                httplib::Response& res)
{
    // /g/<group>/<n>-1.html
    const std::string strPath = strTarget.substr(0, strTarget.find('?'));
    const size_t nSlash = strPath.rfind('/');
    const std::string strGroup = CGatewayCorpus::UnescapeText(strPath.substr(3, nSlash > 3 ? nSlash - 3 : 0));
    const std::string strPage = strPath.substr(nSlash + 1);
    const CGatewayGroup* pGroup = m_corpus.FindGroup(strGroup);
    int32_t nDay = -1;
    if (!strPage.empty() && std::isdigit(static_cast<unsigned char>(strPage[0])))
        nDay = static_cast<int32_t>(std::min(std::strtol(strPage.c_str(), nullptr, 10), 1L << 30));
    if (!pGroup || nDay < 0 || nDay >= m_corpus.DayCount(*pGroup))
    {
        res.status = 404;
        res.set_content(m_options.m_strMissingDayBody.empty() ? "<html><body><h1>404 Not Found</h1></body></html>\n"
                                                               : m_options.m_strMissingDayBody,
                        "text/html");
        return;
    }
    StreamPage(std::make_shared<CListingPage>(m_corpus, pGroup, CListingPage::KindEasyNews, nDay, strHost), res);
}

void CGatewaySimulator::CImpl::ServeLongLine(httplib::Response& res)
{
    auto pLeft = std::make_shared<int64_t>(m_options.m_nLongLineBytes);
    res.status = 200;
    res.set_chunked_content_provider("text/html", [this, pLeft](size_t, httplib::DataSink& sink) {
        if (m_bStopping)
            return false;
        static const std::string kPiece(48 * 1024, 'x');
        if (*pLeft == 0)
        {
            sink.write("\nend\n", 5);
            sink.done();
            return true;
        }
        const size_t n = static_cast<size_t>(std::min<int64_t>(*pLeft, static_cast<int64_t>(kPiece.size())));
        *pLeft -= static_cast<int64_t>(n);
        return sink.write(kPiece.data(), n);
    });
}

void CGatewaySimulator::CImpl::ServeDownload(const httplib::Request& req, const std::string& strTarget,
                                             const std::string& strHost, httplib::Response& res)
{
    CGatewayArticle article;
    const CGatewayGroup* pGroup = nullptr;
    {
        std::string strQuery;
        const size_t nDecode = strTarget.find("wwwdecode?");
        if (nDecode != std::string::npos)
            strQuery = strTarget.substr(nDecode + 10);
        else
            strQuery = strTarget.substr(strTarget.find('/', 1) + 1);
        const size_t nSlash = strQuery.find('/');
        const std::string strGroup = CGatewayCorpus::UnescapeText(strQuery.substr(0, nSlash));
        pGroup = m_corpus.FindGroup(strGroup);
        const std::string strRest = nSlash == std::string::npos ? std::string() : strQuery.substr(nSlash + 1);
        if (pGroup && !strRest.empty() && std::isdigit(static_cast<unsigned char>(strRest[0])))
        {
            const long nIndex = std::strtol(strRest.c_str(), nullptr, 10);
            if (nIndex >= 0 && nIndex < pGroup->m_nArticles)
                article = m_corpus.Article(*pGroup, static_cast<int32_t>(nIndex));
            else
                pGroup = nullptr;
        }
        else
            pGroup = nullptr;
    }
    if (!pGroup)
    {
        res.status = 404;
        res.set_content("<html><body><h1>404 Not Found</h1></body></html>\n", "text/html");
        return;
    }

    CGatewayFault fault;
    int32_t nAttempt = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto key = std::make_pair(article.m_strGroup, article.m_nIndex);
        nAttempt = ++m_attempts[key];
        auto it = m_faults.find(key);
        if (it != m_faults.end())
            fault = it->second;
        else if (!article.m_fault.IsClean())
            fault = article.m_fault;
        else
            fault = m_defaultFault;
    }
    const bool bRedirectTarget = StartsWith(strTarget, "/file/");

    if (nAttempt <= fault.m_nFailFirst || fault.m_nStatus != 0)
    {
        res.status = nAttempt <= fault.m_nFailFirst ? 500 : fault.m_nStatus;
        res.set_content("<html><body><h1>Server error</h1></body></html>\n", "text/html");
        return;
    }
    if (fault.m_nRedirect != RedirectNone && !bRedirectTarget)
    {
        res.status = fault.m_nRedirectStatus != 0 ? fault.m_nRedirectStatus : 302;
        const std::string strFilePath = "/file/" + CGatewayCorpus::DecodeQuery(article);
        switch (fault.m_nRedirect)
        {
        case RedirectSameHost: res.set_header("Location", "http://" + strHost + strFilePath); break;
        case RedirectOtherHost:
            res.set_header("Location", "http://" + m_options.m_strOtherHost + ":" + std::to_string(m_nPort) + strFilePath);
            break;
        case RedirectLoop: res.set_header("Location", "http://" + strHost + strTarget); break;
        default: break; // no Location at all
        }
        res.set_content("<html><body>Moved</body></html>\n", "text/html");
        return;
    }

    const std::string strName =
        fault.m_nUnsafeName != UnsafeNameNone ? UnsafeName(fault.m_nUnsafeName) : article.m_strFileName;
    if (!fault.m_bNoDisposition)
        res.set_header("Content-Disposition", "attachment; filename=\"" + strName + "\"");
    res.set_header("ETag", article.m_strETag);
    res.set_header("Last-Modified", article.m_strLastModified);

    if (fault.m_bEmptyBody)
    {
        res.status = 200;
        res.set_content("", "application/octet-stream");
        return;
    }
    const bool bRanges = m_options.m_bRanges && !fault.m_bNoRange && !fault.m_bNoContentLength;
    if (bRanges)
        res.set_header("Accept-Ranges", "bytes");
    res.status = 200;
    if (bRanges && req.ranges.size() == 1)
    {
        const std::string strIfRange = req.get_header_value("If-Range");
        const bool bSame = strIfRange.empty() || strIfRange == article.m_strETag || strIfRange == article.m_strLastModified;
        const auto [nFirst, nLast] = req.ranges[0];
        if (bSame)
        {
            if (nFirst >= article.m_nSize || (nFirst < 0 && nLast <= 0))
            {
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(article.m_nSize));
                res.set_content("", "text/plain");
                return;
            }
            res.status = 206; // the library writes Content-Range and slices the provider
        }
    }
    ServeBody(article, fault, !fault.m_bNoContentLength, res);
}

void CGatewaySimulator::CImpl::ServeBody(const CGatewayArticle& article, const CGatewayFault& fault, bool bWithLength,
                                         httplib::Response& res)
{
    struct CTransfer
    {
        uint64_t m_nBodyKey;
        int64_t m_nSize;
        int64_t m_nCut;   // close the connection when this offset is reached
        int64_t m_nStall; // go silent when this offset is reached
        int64_t m_nThrottle;
        int64_t m_nSent = 0;
        std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
        std::vector<char> m_buffer;
    };
    auto transfer = std::make_shared<CTransfer>();
    transfer->m_nBodyKey = article.m_nBodyKey;
    transfer->m_nSize = article.m_nSize;
    transfer->m_nCut = article.m_nSize;
    if (fault.m_bShortBody)
        transfer->m_nCut = std::max<int64_t>(0, article.m_nSize - 1);
    if (fault.m_nDropAfter >= 0)
        transfer->m_nCut = std::min(transfer->m_nCut, fault.m_nDropAfter);
    transfer->m_nStall = fault.m_nStallAfter >= 0 ? fault.m_nStallAfter : INT64_MAX;
    transfer->m_nThrottle = fault.m_nThrottle;
    const bool bComplete = transfer->m_nCut == article.m_nSize;

    // Writes one piece at nOffset; false ends the answer by closing the connection.
    auto writePiece = [this, transfer](int64_t nOffset, httplib::DataSink& sink) -> bool {
        CTransfer& t = *transfer;
        if (m_bStopping)
            return false;
        if (nOffset >= t.m_nStall)
        {
            SleepUnlessStopping(m_bStopping, std::chrono::milliseconds(m_options.m_nStallLimitMs));
            return false;
        }
        if (nOffset >= t.m_nCut)
            return false;
        int64_t nPiece = std::min<int64_t>({256 * 1024, t.m_nCut - nOffset, t.m_nStall - nOffset});
        if (t.m_nThrottle > 0)
            nPiece = std::min<int64_t>(nPiece, std::max<int64_t>(1, t.m_nThrottle / 20));
        t.m_buffer.resize(static_cast<size_t>(nPiece));
        GatewayFillBody(t.m_nBodyKey, nOffset, t.m_buffer.data(), t.m_buffer.size());
        if (!sink.write(t.m_buffer.data(), t.m_buffer.size()))
            return false;
        t.m_nSent += nPiece;
        if (t.m_nThrottle > 0)
        {
            const auto due = std::chrono::microseconds(t.m_nSent * 1000000 / t.m_nThrottle);
            const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t.m_start);
            if (due > spent)
                SleepUnlessStopping(m_bStopping, due - spent);
        }
        return true;
    };

    if (bWithLength)
    {
        res.set_content_provider(static_cast<size_t>(article.m_nSize), "application/octet-stream",
                                 [writePiece](size_t nOffset, size_t, httplib::DataSink& sink) {
                                     return writePiece(static_cast<int64_t>(nOffset), sink);
                                 });
    }
    else
    {
        // Without a length only the end of the connection ends the body.
        res.set_header("Connection", "close");
        res.set_content_provider("application/octet-stream",
                                 [writePiece, transfer, bComplete](size_t nOffset, httplib::DataSink& sink) -> bool {
                                     // The library would keep the connection open after done();
                                     // closing it is what ends a body without a length.
                                     if (static_cast<int64_t>(nOffset) >= transfer->m_nSize && bComplete)
                                         return false;
                                     return writePiece(static_cast<int64_t>(nOffset), sink);
                                 });
    }
}

CGatewaySimulator::CGatewaySimulator(CGatewayOptions options) : m_pImpl(std::make_unique<CImpl>(std::move(options))) {}

CGatewaySimulator::~CGatewaySimulator()
{
    Stop();
}

int CGatewaySimulator::Start()
{
    CImpl& impl = *m_pImpl;
    if (impl.m_thread.joinable())
        return impl.m_nPort;
    const int nThreads = std::max(2, impl.m_options.m_nThreads);
    impl.m_server.new_task_queue = [nThreads] { return new httplib::ThreadPool(static_cast<size_t>(nThreads)); };
    impl.m_server.set_keep_alive_max_count(1000);
    impl.m_server.set_keep_alive_timeout(2);
    impl.m_server.set_read_timeout(10);
    impl.m_server.set_write_timeout(10);
    impl.m_server.set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which lets a second
    // simulator share a fixed port silently; a busy port must fail instead.
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

void CGatewaySimulator::Stop()
{
    CImpl& impl = *m_pImpl;
    if (!impl.m_thread.joinable())
        return;
    impl.m_bStopping = true;
    impl.m_server.stop();
    impl.m_thread.join();
}

int CGatewaySimulator::Port() const
{
    return m_pImpl->m_nPort;
}

std::string CGatewaySimulator::HostPort() const
{
    return m_pImpl->HostPort();
}

std::string CGatewaySimulator::BaseUrl() const
{
    return "http://" + HostPort();
}

std::vector<std::string> CGatewaySimulator::GroupNames() const
{
    return m_pImpl->m_corpus.GroupNames();
}

bool CGatewaySimulator::HasGroup(const std::string& strGroup) const
{
    return m_pImpl->m_corpus.FindGroup(strGroup) != nullptr;
}

int32_t CGatewaySimulator::ArticleCount(const std::string& strGroup) const
{
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    return pGroup ? pGroup->m_nArticles : -1;
}

int32_t CGatewaySimulator::DayCount(const std::string& strGroup) const
{
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    return pGroup ? m_pImpl->m_corpus.DayCount(*pGroup) : 0;
}

CGatewayArticle CGatewaySimulator::Article(const std::string& strGroup, int32_t nIndex) const
{
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    if (!pGroup || nIndex < 0 || nIndex >= pGroup->m_nArticles)
        return {};
    return m_pImpl->m_corpus.ResolvedArticle(*pGroup, nIndex);
}

std::vector<CGatewayArticle> CGatewaySimulator::Articles(const std::string& strGroup) const
{
    std::vector<CGatewayArticle> articles;
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    if (!pGroup)
        return articles;
    for (int32_t nDay = 0; nDay < m_pImpl->m_corpus.DayCount(*pGroup); ++nDay)
    {
        std::vector<CGatewayArticle> day = DayArticles(strGroup, nDay);
        articles.insert(articles.end(), std::make_move_iterator(day.begin()), std::make_move_iterator(day.end()));
    }
    return articles;
}

std::vector<CGatewayArticle> CGatewaySimulator::DayArticles(const std::string& strGroup, int32_t nDay) const
{
    std::vector<CGatewayArticle> articles;
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    if (!pGroup || nDay < 0 || nDay >= m_pImpl->m_corpus.DayCount(*pGroup))
        return articles;
    int32_t nFirst = 0, nLast = 0;
    m_pImpl->m_corpus.DayRange(*pGroup, nDay, nFirst, nLast);
    std::string strAuthor;
    for (int32_t i = nFirst; i < nLast; ++i)
    {
        CGatewayArticle a = m_pImpl->m_corpus.Article(*pGroup, i);
        if (a.m_strEasyAuthorHtml.empty())
            a.m_strEasyAuthor = strAuthor;
        strAuthor = a.m_strEasyAuthor;
        articles.push_back(std::move(a));
    }
    return articles;
}

bool CGatewaySimulator::FindArticle(const std::string& strTarget, CGatewayArticle& article) const
{
    std::string strQuery = OriginTarget(strTarget);
    const size_t nDecode = strQuery.find("wwwdecode?");
    if (nDecode != std::string::npos)
        strQuery = strQuery.substr(nDecode + 10);
    else if (StartsWith(strQuery, "/dl/") || StartsWith(strQuery, "/file/"))
        strQuery = strQuery.substr(strQuery.find('/', 1) + 1);
    const size_t nSlash = strQuery.find('/');
    if (nSlash == std::string::npos)
        return false;
    const std::string strGroup = CGatewayCorpus::UnescapeText(strQuery.substr(0, nSlash));
    const std::string strRest = strQuery.substr(nSlash + 1);
    if (strRest.empty() || !std::isdigit(static_cast<unsigned char>(strRest[0])))
        return false;
    const long nIndex = std::strtol(strRest.c_str(), nullptr, 10);
    if (nIndex < 0 || nIndex >= ArticleCount(strGroup))
        return false;
    article = Article(strGroup, static_cast<int32_t>(nIndex));
    return true;
}

std::string CGatewaySimulator::ExpectedBody(const CGatewayArticle& article, int64_t nOffset, int64_t nLength) const
{
    nOffset = std::clamp<int64_t>(nOffset, 0, article.m_nSize);
    const int64_t nAvailable = article.m_nSize - nOffset;
    const int64_t n = nLength < 0 ? nAvailable : std::min(nLength, nAvailable);
    std::string strBody(static_cast<size_t>(n), '\0');
    GatewayFillBody(article.m_nBodyKey, nOffset, strBody.data(), strBody.size());
    return strBody;
}

std::string CGatewaySimulator::ServedFileName(const CGatewayArticle& article) const
{
    CGatewayFault fault;
    {
        std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
        auto it = m_pImpl->m_faults.find(std::make_pair(article.m_strGroup, article.m_nIndex));
        fault = it != m_pImpl->m_faults.end() ? it->second
                : !article.m_fault.IsClean()  ? article.m_fault
                                              : m_pImpl->m_defaultFault;
    }
    return fault.m_nUnsafeName != UnsafeNameNone ? UnsafeName(fault.m_nUnsafeName) : article.m_strFileName;
}

std::string CGatewaySimulator::NewsGuyListTarget(const std::string& strGroup)
{
    return "/news-bin/wwwlist?-sz,b1,o,n100000+" + strGroup;
}

std::string CGatewaySimulator::EasyNewsGroupTarget(const std::string& strGroup)
{
    return "/group.html?group=" + strGroup;
}

std::string CGatewaySimulator::EasyNewsDayTarget(const std::string& strGroup, int32_t nDay)
{
    return "/g/" + strGroup + "/" + std::to_string(nDay) + "-1.html";
}

std::string CGatewaySimulator::NewsGuyDecodeTarget(const CGatewayArticle& article) const
{
    return "/news-bin/wwwdecode?" + article.m_strDecodeQuery;
}

std::string CGatewaySimulator::WebUseNetDecodeTarget(const CGatewayArticle& article) const
{
    return "/drn-bin/wwwdecode?" + article.m_strDecodeQuery;
}

std::string CGatewaySimulator::EasyNewsDecodeTarget(const CGatewayArticle& article) const
{
    return article.m_strEasyQuery;
}

void CGatewaySimulator::SetArticleFault(const std::string& strGroup, int32_t nIndex, const CGatewayFault& fault)
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_faults[std::make_pair(strGroup, nIndex)] = fault;
}

void CGatewaySimulator::ClearArticleFault(const std::string& strGroup, int32_t nIndex)
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_faults.erase(std::make_pair(strGroup, nIndex));
}

void CGatewaySimulator::SetDefaultFault(const CGatewayFault& fault)
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_defaultFault = fault;
}

void CGatewaySimulator::ClearFaults()
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_faults.clear();
    m_pImpl->m_attempts.clear();
    m_pImpl->m_defaultFault = m_pImpl->m_options.m_fault;
}

int32_t CGatewaySimulator::Attempts(const std::string& strGroup, int32_t nIndex) const
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    auto it = m_pImpl->m_attempts.find(std::make_pair(strGroup, nIndex));
    return it == m_pImpl->m_attempts.end() ? 0 : it->second;
}

void CGatewaySimulator::SetUsers(std::vector<std::pair<std::string, std::string>> users)
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_users = std::move(users);
}

std::vector<CGatewayRequest> CGatewaySimulator::Requests() const
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    return m_pImpl->m_requests;
}

size_t CGatewaySimulator::RequestCount() const
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    return m_pImpl->m_requests.size();
}

void CGatewaySimulator::ClearRequests()
{
    std::lock_guard<std::mutex> guard(m_pImpl->m_lock);
    m_pImpl->m_requests.clear();
}
