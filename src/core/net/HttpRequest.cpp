#include "net/HttpRequest.h"

#include "net/HttpConnection.h"
#include "net/HttpRequestProfile.h"
#include "net/InternetSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
// A response of at most this much still unread is read to its end before the
// request is closed, so its connection can serve the next request.
constexpr int64_t kDrainLimit = 64 * 1024;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
    {
        char a = text[i];
        char b = prefix[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

std::string_view TrimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}
} // namespace

CHttpRequest::CHttpRequest(CHttpConnection& connection, const std::string& strObject, uint32_t nFlags,
                           bool bAutoRedirect)
    : m_connection(connection), m_strObject(strObject), m_strTarget(MakeTarget(strObject)), m_nFlags(nFlags),
      m_bAutoRedirect(bAutoRedirect)
{
}

CHttpRequest::~CHttpRequest()
{
    Detach(false);
    curl_slist_free_all(static_cast<curl_slist*>(m_pHeaderList));
}

void CHttpRequest::SetRequestHeaders(const std::vector<std::string>& headers)
{
    m_extraHeaders.clear();
    for (const auto& strHeader : headers)
    {
        std::string strLine;
        for (char c : strHeader)
            if (c != '\r' && c != '\n')
                strLine.push_back(c);
        if (!strLine.empty())
            m_extraHeaders.push_back(std::move(strLine));
    }
}

std::string CHttpRequest::MakeTarget(const std::string& strObject)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strTarget;
    strTarget.reserve(strObject.size() + 1);
    if (strObject.empty() || strObject.front() != '/')
        strTarget.push_back('/');
    for (char ch : strObject)
    {
        auto c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n')
            continue; // never let a server's text split the request line
        if (c <= 0x20 || c >= 0x7F || c == '#')
        {
            strTarget.push_back('%');
            strTarget.push_back(kHex[c >> 4]);
            strTarget.push_back(kHex[c & 15]);
        }
        else
            strTarget.push_back(ch);
    }
    return strTarget;
}

void CHttpRequest::Setup()
{
    CInternetSession& session = m_connection.m_session;
    CURL* hEasy = static_cast<CURL*>(session.m_hEasy);
    // Every option a request of this session may change is set afresh here
    // instead of resetting the handle: libcurl 7.88 loses the cookie file
    // list on a reset (a leak), and the handle keeps its live connections.
    std::string strUrl = m_connection.GetBaseUrl() + m_strTarget;
    curl_easy_setopt(hEasy, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(hEasy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(hEasy, CURLOPT_USERAGENT, "Dravelin");
    curl_easy_setopt(hEasy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(hEasy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(hEasy, CURLOPT_CONNECTTIMEOUT, session.m_nConnectTimeout);
    curl_easy_setopt(hEasy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(hEasy, CURLOPT_LOW_SPEED_TIME, session.m_nStallSeconds);
    curl_easy_setopt(hEasy, CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(hEasy, CURLOPT_HEADERFUNCTION, &CHttpRequest::HeaderCallback);
    curl_easy_setopt(hEasy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(hEasy, CURLOPT_WRITEFUNCTION, &CHttpRequest::WriteCallback);
    curl_easy_setopt(hEasy, CURLOPT_WRITEDATA, this);
    switch (session.m_proxy.nAccessType)
    {
    case ProxyAccessDirect:
        curl_easy_setopt(hEasy, CURLOPT_PROXY, "");
        break;
    case ProxyAccessNamed:
        curl_easy_setopt(hEasy, CURLOPT_PROXY, session.m_proxy.strProxyName.c_str());
        break;
    default:
        // libcurl itself takes http_proxy / no_proxy from the environment.
        curl_easy_setopt(hEasy, CURLOPT_PROXY, nullptr);
        break;
    }
    curl_easy_setopt(hEasy, CURLOPT_FOLLOWLOCATION, m_bAutoRedirect ? 1L : 0L);
    curl_easy_setopt(hEasy, CURLOPT_MAXREDIRS, 20L);
    if ((m_nFlags & HttpFlags::kNoCookies) == 0 && !session.m_bCookieEngine)
    {
        curl_easy_setopt(hEasy, CURLOPT_COOKIEFILE, "");
        session.m_bCookieEngine = true;
    }
    // The handle may still point at the previous request's list: set the
    // new one (or none) before the old one goes.
    curl_slist* pList = nullptr;
    for (const auto& strLine : m_extraHeaders)
        if (curl_slist* pNew = curl_slist_append(pList, strLine.c_str()))
            pList = pNew;
    curl_easy_setopt(hEasy, CURLOPT_HTTPHEADER, pList);
    curl_slist_free_all(static_cast<curl_slist*>(m_pHeaderList));
    m_pHeaderList = pList;
    curl_easy_setopt(hEasy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(hEasy, CURLOPT_USERNAME,
                     m_connection.m_bServerLogin ? m_connection.m_strUsername.c_str() : nullptr);
    curl_easy_setopt(hEasy, CURLOPT_PASSWORD,
                     m_connection.m_bServerLogin ? m_connection.m_strPassword.c_str() : nullptr);
    curl_easy_setopt(hEasy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(hEasy, CURLOPT_PROXYUSERNAME,
                     m_connection.m_bProxyLogin ? m_connection.m_strProxyUsername.c_str() : nullptr);
    curl_easy_setopt(hEasy, CURLOPT_PROXYPASSWORD,
                     m_connection.m_bProxyLogin ? m_connection.m_strProxyPassword.c_str() : nullptr);
}

bool CHttpRequest::Send()
{
    CInternetSession& session = m_connection.m_session;
    if (!session.IsValid())
    {
        m_nResult = CURLE_FAILED_INIT;
        m_bDone = true;
        return false;
    }
    Detach(true);
    m_bHeadersDone = false;
    m_bDone = false;
    m_bPaused = false;
    m_bHasLocation = false;
    m_nResult = CURLE_OK;
    m_nStatusCode = 0;
    m_nBodyBytes = 0;
    m_strRawHeaders.clear();
    m_buf.clear();
    m_nPos = 0;
    m_nScan = 0;
    m_bSkipLine = false;
    Setup();
    if (curl_multi_add_handle(static_cast<CURLM*>(session.m_hMulti), static_cast<CURL*>(session.m_hEasy)) !=
        CURLM_OK)
    {
        m_nResult = CURLE_FAILED_INIT;
        m_bDone = true;
        return false;
    }
    m_bAttached = true;
    m_nWant = 0;
    Pump(true);
    if (m_nStatusCode == 0)
    {
        if (m_nResult == CURLE_OK)
            m_nResult = CURLE_RECV_ERROR;
        return false;
    }
    return true;
}

void CHttpRequest::Close()
{
    Detach(true);
}

void CHttpRequest::Detach(bool bDrain)
{
    if (!m_bAttached)
        return;
    if (bDrain && !m_bDone && m_bHeadersDone)
    {
        int64_t nLength = GetContentLength();
        if (nLength >= 0 && nLength - m_nBodyBytes <= kDrainLimit)
        {
            m_pDirect = nullptr;
            while (!m_bDone)
            {
                m_buf.clear();
                m_nPos = m_nScan = 0;
                m_nWant = 1;
                Pump(false);
            }
        }
    }
    CInternetSession& session = m_connection.m_session;
    curl_multi_remove_handle(static_cast<CURLM*>(session.m_hMulti), static_cast<CURL*>(session.m_hEasy));
    m_bAttached = false;
    if (!m_bDone)
    {
        m_bDone = true;
        m_nResult = CURLE_ABORTED_BY_CALLBACK;
    }
}

void CHttpRequest::CheckDone()
{
    CInternetSession& session = m_connection.m_session;
    int nLeft = 0;
    while (CURLMsg* pMsg = curl_multi_info_read(static_cast<CURLM*>(session.m_hMulti), &nLeft))
    {
        if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == session.m_hEasy)
        {
            m_bDone = true;
            m_nResult = pMsg->data.result;
            m_bHeadersDone = true;
            if (m_nStatusCode == 0 && m_nResult == CURLE_OK)
                curl_easy_getinfo(static_cast<CURL*>(session.m_hEasy), CURLINFO_RESPONSE_CODE,
                                  &m_nStatusCode);
        }
    }
}

void CHttpRequest::Pump(bool bUntilHeaders)
{
    CInternetSession& session = m_connection.m_session;
    CURLM* hMulti = static_cast<CURLM*>(session.m_hMulti);
    auto bReady = [&]
    {
        if (m_bDone)
            return true;
        return bUntilHeaders ? m_bHeadersDone
                             : (Available() >= m_nWant || (m_pDirect && m_nDirectLeft == 0) ||
                                (m_pConsume && m_nConsumeLeft == 0));
    };
    for (;;)
    {
        if (bReady())
            return;
        if (m_bPaused)
        {
            m_bPaused = false;
            // May deliver the held-back data at once, through WriteCallback.
            curl_easy_pause(static_cast<CURL*>(session.m_hEasy), CURLPAUSE_CONT);
            if (bReady())
                return;
        }
        int nRunning = 0;
        CURLMcode mc = curl_multi_perform(hMulti, &nRunning);
        CheckDone();
        if (bReady())
            return;
        if (mc != CURLM_OK)
        {
            m_bDone = true;
            m_nResult = CURLE_RECV_ERROR;
            return;
        }
        curl_multi_poll(hMulti, nullptr, 0, 1000, nullptr);
    }
}

size_t CHttpRequest::HeaderCallback(char* pData, size_t nSize, size_t nCount, void* pThis)
{
    static_cast<CHttpRequest*>(pThis)->OnHeaderLine(std::string_view(pData, nSize * nCount));
    return nSize * nCount;
}

void CHttpRequest::OnHeaderLine(std::string_view line)
{
    std::string_view text = TrimLineEnd(line);
    if (StartsWithNoCase(text, "HTTP/"))
    {
        // A new response begins (after an interim one or a followed redirect).
        m_strRawHeaders.clear();
        m_bHasLocation = false;
        m_nStatusCode = ParseStatusCode(text);
    }
    else if (text.empty())
    {
        bool bInterim = m_nStatusCode / 100 == 1;
        bool bFollowed = m_bAutoRedirect && m_bHasLocation &&
                         (m_nStatusCode == 301 || m_nStatusCode == 302 || m_nStatusCode == 303 ||
                          m_nStatusCode == 307 || m_nStatusCode == 308);
        if (!bInterim && !bFollowed)
            m_bHeadersDone = true;
        return;
    }
    else if (StartsWithNoCase(text, "Location:"))
        m_bHasLocation = true;
    m_strRawHeaders.append(text);
    m_strRawHeaders.append("\r\n");
}

size_t CHttpRequest::WriteCallback(char* pData, size_t nSize, size_t nCount, void* pThis)
{
    return static_cast<CHttpRequest*>(pThis)->OnBody(pData, nSize * nCount);
}

size_t CHttpRequest::OnBody(const char* pData, size_t nLen)
{
    m_bHeadersDone = true;
    // A caller waiting in ReadBlockTo takes the bytes where they are.
    if (m_pConsume && m_nConsumeLeft > 0 && Available() == 0)
    {
        size_t n = std::min(nLen, m_nConsumeLeft);
        if ((*m_pConsume)(pData, n))
        {
            m_nConsumeLeft -= n;
            m_nConsumed += n;
        }
        else
        {
            m_bConsumeFailed = true;
            m_nConsumeLeft = 0;
            n = 0; // kept below for a later read
        }
        m_nBodyBytes += static_cast<int64_t>(n);
        if (n == nLen)
            return n;
        m_buf.append(pData + n, nLen - n);
        m_nBodyBytes += static_cast<int64_t>(nLen - n);
        return nLen;
    }
    // A caller waiting in ReadBlock takes the bytes straight into its buffer.
    if (m_pDirect && m_nDirectLeft > 0 && Available() == 0)
    {
        size_t n = std::min(nLen, m_nDirectLeft);
        std::memcpy(m_pDirect, pData, n);
        m_pDirect += n;
        m_nDirectLeft -= n;
        m_nBodyBytes += static_cast<int64_t>(n);
        pData += n;
        nLen -= n;
        if (nLen == 0)
            return n;
        size_t nRest = nLen;
        m_buf.append(pData, nRest);
        m_nBodyBytes += static_cast<int64_t>(nRest);
        return n + nRest;
    }
    if (Available() >= std::max(kHighWater, m_nWant))
    {
        m_bPaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (m_nPos > 0 && m_nPos >= m_buf.size() / 2)
    {
        m_buf.erase(0, m_nPos);
        m_nScan -= std::min(m_nScan, m_nPos);
        m_nPos = 0;
    }
    m_buf.append(pData, nLen);
    m_nBodyBytes += static_cast<int64_t>(nLen);
    return nLen;
}

bool CHttpRequest::ReadLine(std::string& strLine)
{
    for (;;)
    {
        const char* pBase = m_buf.data();
        size_t nSize = m_buf.size();
        if (m_nScan < m_nPos)
            m_nScan = m_nPos;
        const void* pLf = m_nScan < nSize ? std::memchr(pBase + m_nScan, '\n', nSize - m_nScan) : nullptr;
        if (pLf && m_bSkipLine)
        {
            // The end of an overlong line: the next line starts behind it.
            m_bSkipLine = false;
            m_nPos = m_nScan = static_cast<size_t>(static_cast<const char*>(pLf) - pBase) + 1;
            continue;
        }
        if (pLf)
        {
            size_t nEnd = static_cast<size_t>(static_cast<const char*>(pLf) - pBase);
            size_t nLen = nEnd - m_nPos;
            if (nLen > 0 && pBase[nEnd - 1] == '\r')
                --nLen;
            strLine.assign(pBase + m_nPos, std::min(nLen, kMaxLine));
            m_nPos = m_nScan = nEnd + 1;
            if (m_nPos == m_buf.size())
            {
                m_buf.clear();
                m_nPos = m_nScan = 0;
            }
            return true;
        }
        m_nScan = nSize;
        if (m_bSkipLine)
        {
            m_buf.clear();
            m_nPos = m_nScan = 0;
        }
        else if (Available() >= kMaxLine)
        {
            // An overlong line: deliver its start, drop the rest as it comes.
            strLine.assign(pBase + m_nPos, kMaxLine);
            m_buf.clear();
            m_nPos = m_nScan = 0;
            m_bSkipLine = true;
            return true;
        }
        if (m_bDone)
        {
            if (Available() == 0 || m_nResult != CURLE_OK)
                return false;
            size_t nLen = Available();
            if (pBase[nSize - 1] == '\r')
                --nLen;
            strLine.assign(pBase + m_nPos, nLen);
            m_buf.clear();
            m_nPos = m_nScan = 0;
            return true;
        }
        m_nWant = Available() + 1;
        Pump(false);
    }
}

int64_t CHttpRequest::ReadBlock(void* pBuffer, size_t nSize)
{
    auto* pOut = static_cast<char*>(pBuffer);
    size_t nGot = 0;
    while (nGot < nSize)
    {
        size_t n = std::min(Available(), nSize - nGot);
        if (n > 0)
        {
            std::memcpy(pOut + nGot, m_buf.data() + m_nPos, n);
            m_nPos += n;
            nGot += n;
            if (m_nPos == m_buf.size())
            {
                m_buf.clear();
                m_nPos = m_nScan = 0;
            }
            continue;
        }
        if (m_bDone)
            break;
        m_pDirect = pOut + nGot;
        m_nDirectLeft = nSize - nGot;
        m_nWant = 1;
        Pump(false);
        nGot = static_cast<size_t>(m_pDirect - pOut);
        m_pDirect = nullptr;
        m_nDirectLeft = 0;
    }
    if (nGot == 0 && m_bDone && m_nResult != CURLE_OK)
        return -1;
    return static_cast<int64_t>(nGot);
}

int64_t CHttpRequest::ReadBlockTo(const BodyConsumer& consume, size_t nSize)
{
    size_t nGot = 0;
    while (nGot < nSize)
    {
        size_t n = std::min(Available(), nSize - nGot);
        if (n > 0)
        {
            if (!consume(m_buf.data() + m_nPos, n))
                return static_cast<int64_t>(nGot);
            m_nPos += n;
            nGot += n;
            if (m_nPos == m_buf.size())
            {
                m_buf.clear();
                m_nPos = m_nScan = 0;
            }
            continue;
        }
        if (m_bDone)
            break;
        m_pConsume = &consume;
        m_nConsumeLeft = nSize - nGot;
        m_nConsumed = 0;
        m_bConsumeFailed = false;
        m_nWant = 1;
        Pump(false);
        nGot += m_nConsumed;
        const bool bFailed = m_bConsumeFailed;
        m_pConsume = nullptr;
        m_nConsumeLeft = 0;
        if (bFailed)
            return static_cast<int64_t>(nGot);
    }
    if (nGot == 0 && m_bDone && m_nResult != CURLE_OK)
        return -1;
    return static_cast<int64_t>(nGot);
}

bool CHttpRequest::QueryHeader(std::string_view strName, std::string& strValue) const
{
    return FindHeader(m_strRawHeaders, strName, strValue);
}

int64_t CHttpRequest::GetContentLength() const
{
    return ContentLengthOf(m_strRawHeaders);
}

bool CHttpRequest::FindHeader(std::string_view headers, std::string_view strName, std::string& strValue)
{
    size_t nStart = headers.find("\r\n"); // skip the status line
    while (nStart != std::string_view::npos)
    {
        nStart += 2;
        size_t nEnd = headers.find("\r\n", nStart);
        if (nEnd == std::string_view::npos)
            break;
        std::string_view line = headers.substr(nStart, nEnd - nStart);
        if (line.size() > strName.size() && line[strName.size()] == ':' && StartsWithNoCase(line, strName))
        {
            std::string_view value = line.substr(strName.size() + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            strValue.assign(value);
            return true;
        }
        nStart = nEnd;
    }
    return false;
}

int64_t CHttpRequest::ContentLengthOf(std::string_view headers)
{
    std::string strValue;
    if (!FindHeader(headers, "Content-Length", strValue) || strValue.empty() ||
        strValue.find_first_not_of("0123456789") != std::string::npos || strValue.size() > 18)
        return -1;
    return std::strtoll(strValue.c_str(), nullptr, 10);
}

long CHttpRequest::ParseStatusCode(std::string_view statusLine)
{
    // Three digits standing alone after the version, as libcurl accepts them.
    size_t nBlank = statusLine.find(' ');
    if (nBlank == std::string_view::npos)
        return 0;
    std::string_view code = statusLine.substr(nBlank + 1);
    if (code.size() < 3 || (code.size() > 3 && code[3] != ' '))
        return 0;
    long nCode = 0;
    for (size_t i = 0; i < 3; ++i)
    {
        if (code[i] < '0' || code[i] > '9')
            return 0;
        nCode = nCode * 10 + (code[i] - '0');
    }
    return nCode < 100 ? 0 : nCode;
}

std::string CHttpRequest::GetEffectiveUrl() const
{
    char* pUrl = nullptr;
    curl_easy_getinfo(static_cast<CURL*>(m_connection.m_session.m_hEasy), CURLINFO_EFFECTIVE_URL, &pUrl);
    return pUrl ? std::string(pUrl) : std::string();
}

bool CHttpRequest::HasFailed() const
{
    return m_nResult != CURLE_OK;
}

std::string CHttpRequest::GetErrorText() const
{
    return curl_easy_strerror(static_cast<CURLcode>(m_nResult));
}

bool CHttpRequest::EndedEarly() const
{
    return m_nResult == CURLE_PARTIAL_FILE;
}

std::string CHttpRequest::DescribeFailure() const
{
    const std::string strWhere = m_connection.m_strHost + ":" + std::to_string(m_connection.m_nPort);
    const CInternetSession& session = m_connection.m_session;
    switch (m_nResult)
    {
    case CURLE_OK:
        return {};
    case CURLE_COULDNT_CONNECT:
        return "connection refused by " + strWhere;
    case CURLE_COULDNT_RESOLVE_HOST:
        return "host not found: " + m_connection.m_strHost;
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "proxy not found";
    case CURLE_OPERATION_TIMEDOUT:
        if (!m_bHeadersDone)
            return "no answer from " + strWhere;
        return "the transfer stalled: no data for " + std::to_string(session.m_nStallSeconds) + " seconds";
    case CURLE_PARTIAL_FILE:
        return "the connection closed before the end of the body";
    default:
        return GetErrorText();
    }
}
