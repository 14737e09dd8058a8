#include "nntp/NntpConnection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace usenet
{

namespace
{
constexpr size_t kBufferSize = 1 << 20;
constexpr size_t kMaxStatusLine = 64 * 1024;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return n <= 0 ? 0 : static_cast<int>(n);
}

// 1 ready, 0 timed out, -1 error (errno set; ECANCELED when *pCancel turned
// true). With a cancel flag the wait goes in short slices to look at it.
int WaitFd(int fd, short nEvents, Clock::time_point deadline, const std::atomic<bool>* pCancel)
{
    constexpr int kSliceMs = 50;
    for (;;)
    {
        if (pCancel && pCancel->load())
        {
            errno = ECANCELED;
            return -1;
        }
        const int nLeft = MsLeft(deadline);
        pollfd pfd{fd, nEvents, 0};
        const int n = ::poll(&pfd, 1, pCancel ? std::min(nLeft, kSliceMs) : nLeft);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 && pCancel && nLeft > kSliceMs)
            continue;
        return n < 0 ? -1 : n;
    }
}

// A socket BIO that writes with MSG_NOSIGNAL: a peer that went away must not
// raise SIGPIPE in a program that never asked for it.
int BioWrite(BIO* pBio, const char* p, int n)
{
    BIO_clear_retry_flags(pBio);
    const ssize_t r = ::send(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(pBio))), p,
                             static_cast<size_t>(n), MSG_NOSIGNAL);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(pBio);
    return static_cast<int>(r);
}

int BioRead(BIO* pBio, char* p, int n)
{
    BIO_clear_retry_flags(pBio);
    const ssize_t r = ::recv(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(pBio))), p,
                             static_cast<size_t>(n), 0);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(pBio);
    return static_cast<int>(r);
}

long BioCtrl(BIO*, int nCmd, long, void*)
{
    return nCmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* pBio)
{
    BIO_set_init(pBio, 1);
    return 1;
}

BIO_METHOD* SocketBioMethod()
{
    static BIO_METHOD* s_pMethod = nullptr;
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        s_pMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "nntp socket");
        BIO_meth_set_write(s_pMethod, BioWrite);
        BIO_meth_set_read(s_pMethod, BioRead);
        BIO_meth_set_ctrl(s_pMethod, BioCtrl);
        BIO_meth_set_create(s_pMethod, BioCreate);
    });
    return s_pMethod;
}

std::string OpenSslError()
{
    const unsigned long nErr = ERR_get_error();
    ERR_clear_error();
    if (nErr == 0)
        return "connection closed during the handshake";
    char sz[256];
    ERR_error_string_n(nErr, sz, sizeof sz);
    return sz;
}

bool IsAddress(const std::string& strHost)
{
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, strHost.c_str(), buf) == 1 || inet_pton(AF_INET6, strHost.c_str(), buf) == 1;
}
} // namespace

CNntpConnection::CNntpConnection() : m_pBuf(new char[kBufferSize]) {}

CNntpConnection::~CNntpConnection()
{
    Close();
}

void CNntpConnection::Close()
{
    if (m_pSsl)
        SSL_free(m_pSsl);
    if (m_pCtx)
        SSL_CTX_free(m_pCtx);
    m_pSsl = nullptr;
    m_pCtx = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_nStart = m_nEnd = 0;
}

void CNntpConnection::Quit()
{
    if (IsUsable())
    {
        m_config.m_nReadTimeoutMs = std::min(m_config.m_nReadTimeoutMs, 1000);
        if (Send("QUIT").Ok())
        {
            SNntpReplyLine reply;
            ReadReply(reply);
        }
    }
    Close();
}

std::string CNntpConnection::Where() const
{
    return m_config.m_strHost + ":" + std::to_string(m_config.m_nPort);
}

SNntpResult CNntpConnection::Fail(ENntpStatus nStatus, std::string strText, int nCode)
{
    m_bBroken = m_bBroken || nStatus == ENntpStatus::NetworkError || nStatus == ENntpStatus::TlsError ||
                nStatus == ENntpStatus::ProtocolError;
    SNntpResult result;
    result.m_nStatus = nStatus;
    result.m_nCode = nCode;
    result.m_strText = std::move(strText);
    return result;
}

SNntpResult CNntpConnection::Connect(SProbeResult*)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    const std::string strPort = std::to_string(m_config.m_nPort);
    const int nGai = ::getaddrinfo(m_config.m_strHost.c_str(), strPort.c_str(), &hints, &pList);
    if (nGai != 0)
    {
        if (nGai == EAI_NONAME || nGai == EAI_NODATA || nGai == EAI_FAIL)
            return Fail(ENntpStatus::NetworkError, "Host not found: " + m_config.m_strHost);
        std::string strText("Cannot look up ");
        strText += m_config.m_strHost;
        strText += ": ";
        strText += gai_strerror(nGai);
        return Fail(ENntpStatus::NetworkError, strText);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_config.m_nConnectTimeoutMs);
    int nLastError = 0;
    bool bTimedOut = false;
    for (addrinfo* p = pList; p && m_fd < 0; p = p->ai_next)
    {
        const int fd = ::socket(p->ai_family, p->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, p->ai_protocol);
        if (fd < 0)
        {
            nLastError = errno;
            continue;
        }
        int nError = 0;
        if (::connect(fd, p->ai_addr, p->ai_addrlen) != 0)
        {
            nError = errno;
            if (nError == EINPROGRESS)
            {
                const int nWait = WaitFd(fd, POLLOUT, deadline, m_config.m_pCancel);
                socklen_t nLen = sizeof nError;
                if (nWait == 0)
                {
                    bTimedOut = true;
                    nError = ETIMEDOUT;
                }
                else if (nWait < 0)
                    nError = errno;
                else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0)
                    nError = errno;
            }
        }
        if (nError != 0)
        {
            ::close(fd);
            nLastError = nError;
            if (bTimedOut)
                break;
            continue;
        }
        int nOne = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);
        m_fd = fd;
    }
    ::freeaddrinfo(pList);
    if (m_fd >= 0)
        return {};
    if (bTimedOut)
        return Fail(ENntpStatus::NetworkError, "Timed out connecting to " + Where());
    if (nLastError == ECONNREFUSED)
        return Fail(ENntpStatus::Refused, "Connection refused by " + Where());
    std::string strText("Cannot connect to ");
    strText += Where();
    strText += ": ";
    strText += std::strerror(nLastError);
    return Fail(ENntpStatus::NetworkError, strText);
}

SNntpResult CNntpConnection::StartTls(SProbeResult* pProbe)
{
    m_pCtx = SSL_CTX_new(TLS_client_method());
    if (!m_pCtx)
        return Fail(ENntpStatus::TlsError, "TLS: " + OpenSslError());
    SSL_CTX_set_min_proto_version(m_pCtx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(m_pCtx);
    if (!m_config.m_strCaFile.empty() &&
        SSL_CTX_load_verify_locations(m_pCtx, m_config.m_strCaFile.c_str(), nullptr) != 1)
    {
        ERR_clear_error();
        return Fail(ENntpStatus::TlsError, "TLS: cannot read the CA file " + m_config.m_strCaFile);
    }
    SSL_CTX_set_verify(m_pCtx, m_config.m_bVerify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    m_pSsl = SSL_new(m_pCtx);
    BIO* pBio = BIO_new(SocketBioMethod());
    if (!m_pSsl || !pBio)
    {
        BIO_free(pBio);
        return Fail(ENntpStatus::TlsError, "TLS: " + OpenSslError());
    }
    BIO_set_data(pBio, reinterpret_cast<void*>(static_cast<intptr_t>(m_fd)));
    SSL_set_bio(m_pSsl, pBio, pBio);
    const bool bAddress = IsAddress(m_config.m_strHost);
    if (!bAddress)
        SSL_set_tlsext_host_name(m_pSsl, m_config.m_strHost.c_str());
    if (m_config.m_bVerify)
    {
        if (bAddress)
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), m_config.m_strHost.c_str());
        else
            SSL_set1_host(m_pSsl, m_config.m_strHost.c_str());
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_config.m_nConnectTimeoutMs);
    for (;;)
    {
        const int r = SSL_connect(m_pSsl);
        if (r == 1)
            break;
        const int nErr = SSL_get_error(m_pSsl, r);
        if (nErr == SSL_ERROR_WANT_READ || nErr == SSL_ERROR_WANT_WRITE)
        {
            const int nWait =
                WaitFd(m_fd, nErr == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, m_config.m_pCancel);
            if (nWait == 0)
                return Fail(ENntpStatus::NetworkError, "Timed out in the TLS handshake with " + Where());
            if (nWait < 0)
                return Fail(ENntpStatus::NetworkError, "TLS handshake: " + std::string(std::strerror(errno)));
            continue;
        }
        const long nVerify = SSL_get_verify_result(m_pSsl);
        if (nVerify == X509_V_ERR_HOSTNAME_MISMATCH || nVerify == X509_V_ERR_IP_ADDRESS_MISMATCH)
        {
            ERR_clear_error();
            return Fail(ENntpStatus::TlsError,
                        "TLS: host name mismatch: the server's certificate is not for " + m_config.m_strHost);
        }
        if (nVerify != X509_V_OK)
        {
            ERR_clear_error();
            std::string strText("TLS: certificate not trusted (");
            strText += X509_verify_cert_error_string(nVerify);
            strText += ")";
            return Fail(ENntpStatus::TlsError, strText);
        }
        return Fail(ENntpStatus::TlsError, "TLS handshake with " + Where() + " failed: " + OpenSslError());
    }
    if (pProbe)
    {
        pProbe->m_bTls = true;
        pProbe->m_bTlsVerified = m_config.m_bVerify && SSL_get_verify_result(m_pSsl) == X509_V_OK;
        pProbe->m_strTlsName = m_config.m_bVerify ? m_config.m_strHost : std::string();
        pProbe->m_strTlsVersion = SSL_get_version(m_pSsl);
    }
    return {};
}

SNntpResult CNntpConnection::Open(const SServerConfig& config, SProbeResult* pProbe)
{
    Close();
    m_config = config;
    m_bBroken = false;
    m_bFresh = true;
    m_bAuthed = false;
    SNntpResult result = Connect(pProbe);
    if (result.Ok() && m_config.m_bTls)
        result = StartTls(pProbe);
    if (!result.Ok())
        return result;

    SNntpReplyLine greeting;
    result = ReadReply(greeting);
    if (!result.Ok())
        return result;
    if (pProbe)
    {
        pProbe->m_nGreetingCode = greeting.m_nCode;
        pProbe->m_strGreeting = greeting.m_strText;
    }
    if (greeting.m_nCode == 400 || greeting.m_nCode == 502)
    {
        m_bBroken = true;
        return Fail(ENntpStatus::Refused, "The server refused the connection: " + greeting.m_strText, greeting.m_nCode);
    }
    if (greeting.m_nCode != 200 && greeting.m_nCode != 201)
        return Fail(ENntpStatus::ProtocolError, "Unexpected greeting: " + std::to_string(greeting.m_nCode) + " " +
                                                    greeting.m_strText, greeting.m_nCode);

    if (pProbe)
    {
        std::string strList;
        SNntpReplyLine reply;
        result = Command("CAPABILITIES", 101, true, &strList, &reply);
        if (result.Ok())
        {
            size_t nPos = 0;
            while (nPos < strList.size())
            {
                size_t nEol = strList.find('\n', nPos);
                if (nEol == std::string::npos)
                    nEol = strList.size();
                std::string strLine = strList.substr(nPos, nEol - nPos);
                if (!strLine.empty() && strLine.back() == '\r')
                    strLine.pop_back();
                if (!strLine.empty())
                    pProbe->m_vecCapabilities.push_back(strLine);
                nPos = nEol + 1;
            }
        }
        else if (!IsUsable() || result.m_nStatus == ENntpStatus::AuthFailed)
            return result;
        // Anything else (500 above all): an old server without the list.
    }

    // 200 and 201 both do; 500 and 502 come from servers that need no switch.
    for (int nTry = 0;; ++nTry)
    {
        SNntpReplyLine reply;
        result = Send("MODE READER");
        if (result.Ok())
            result = ReadReply(reply);
        if (!result.Ok())
            return result;
        if (reply.m_nCode != 480 || nTry > 0)
            break;
        if (m_config.m_strUser.empty())
            return Fail(ENntpStatus::AuthFailed, "The server asks for a login: " + reply.m_strText, 480);
        if (pProbe)
            pProbe->m_bLoginTried = true;
        result = Authenticate();
        if (!result.Ok())
            return result;
    }

    if (!m_bAuthed && !m_config.m_strUser.empty())
    {
        if (pProbe)
            pProbe->m_bLoginTried = true;
        result = Authenticate();
        if (!result.Ok())
            return result;
    }
    if (pProbe)
    {
        pProbe->m_bLoginTried = pProbe->m_bLoginTried || m_bAuthed;
        pProbe->m_bLoginAccepted = m_bAuthed;
    }
    m_bFresh = true;
    return {};
}

SNntpResult CNntpConnection::Authenticate()
{
    SNntpReplyLine reply;
    SNntpResult result = Send("AUTHINFO USER " + m_config.m_strUser);
    if (result.Ok())
        result = ReadReply(reply);
    if (result.Ok() && reply.m_nCode == 381)
    {
        result = Send("AUTHINFO PASS " + m_config.m_strPassword);
        if (result.Ok())
            result = ReadReply(reply);
    }
    if (!result.Ok())
        return result;
    if (reply.m_nCode == 281)
    {
        m_bAuthed = true;
        return {};
    }
    if (reply.m_nCode == 481 || reply.m_nCode == 482)
        return Fail(ENntpStatus::AuthFailed, "Wrong login (user name or password): " + reply.m_strText, reply.m_nCode);
    if (reply.m_nCode == 502 || reply.m_nCode == 400)
    {
        m_bBroken = true;
        return Fail(ENntpStatus::Refused, "The server refused the login: " + reply.m_strText, reply.m_nCode);
    }
    return Fail(ENntpStatus::ProtocolError,
                "Unexpected answer to the login: " + std::to_string(reply.m_nCode) + " " + reply.m_strText, reply.m_nCode);
}

SNntpResult CNntpConnection::Command(std::string_view strCommand, int nOkCode, bool bMultiLine, std::string* pstrData,
                                     SNntpReplyLine* pReply)
{
    SNntpReplyLine local;
    SNntpReplyLine& reply = pReply ? *pReply : local;
    m_bFresh = false;
    for (int nTry = 0;; ++nTry)
    {
        if (!IsUsable())
            return Fail(ENntpStatus::NetworkError, "The connection to " + Where() + " is closed");
        SNntpResult result = Send(strCommand);
        if (result.Ok())
            result = ReadReply(reply);
        if (!result.Ok())
            return result;
        if (reply.m_nCode == 480 && nTry == 0)
        {
            if (m_config.m_strUser.empty())
                return Fail(ENntpStatus::AuthFailed, "The server asks for a login: " + reply.m_strText, 480);
            result = Authenticate();
            if (!result.Ok())
                return result;
            continue;
        }
        if (reply.m_nCode == nOkCode)
        {
            if (bMultiLine)
            {
                std::string strScratch;
                result = ReadBlock(pstrData ? *pstrData : strScratch);
                if (!result.Ok())
                    return result;
            }
            result.m_nCode = reply.m_nCode;
            result.m_strText = reply.m_strText;
            return result;
        }
        std::string strText(strCommand.substr(0, strCommand.find(' ')));
        strText += ": ";
        strText += std::to_string(reply.m_nCode);
        strText += " ";
        strText += reply.m_strText;
        switch (reply.m_nCode)
        {
        case 430:
        case 423:
            return Fail(ENntpStatus::NoSuchArticle, "No such article (" + strText + ")", reply.m_nCode);
        case 411:
            return Fail(ENntpStatus::NoSuchGroup, "No such group (" + strText + ")", reply.m_nCode);
        case 480:
        case 481:
        case 482:
            return Fail(ENntpStatus::AuthFailed, "Login not accepted (" + strText + ")", reply.m_nCode);
        case 400:
        case 502:
            m_bBroken = true;
            return Fail(ENntpStatus::Refused, "The server refused the command (" + strText + ")", reply.m_nCode);
        default:
            // A data block we did not expect cannot be skipped reliably.
            if (reply.m_nCode / 100 == 1 || (bMultiLine && reply.m_nCode / 100 == 2))
                m_bBroken = true;
            return Fail(ENntpStatus::ProtocolError, "Unexpected answer (" + strText + ")", reply.m_nCode);
        }
    }
}

SNntpResult CNntpConnection::Send(std::string_view strLine)
{
    std::string strOut(strLine);
    strOut += "\r\n";
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_config.m_nReadTimeoutMs);
    size_t nSent = 0;
    while (nSent < strOut.size())
    {
        short nWaitFor = POLLOUT;
        ssize_t r = 0;
        if (m_pSsl)
        {
            r = SSL_write(m_pSsl, strOut.data() + nSent, static_cast<int>(strOut.size() - nSent));
            if (r <= 0)
            {
                const int nErr = SSL_get_error(m_pSsl, static_cast<int>(r));
                if (nErr != SSL_ERROR_WANT_READ && nErr != SSL_ERROR_WANT_WRITE)
                {
                    ERR_clear_error();
                    return Fail(ENntpStatus::NetworkError, "The connection to " + Where() + " was lost");
                }
                nWaitFor = nErr == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
                r = 0;
            }
        }
        else
        {
            r = ::send(m_fd, strOut.data() + nSent, strOut.size() - nSent, MSG_NOSIGNAL);
            if (r < 0)
            {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    return Fail(ENntpStatus::NetworkError, "The connection to " + Where() + " was lost");
                r = 0;
            }
        }
        nSent += static_cast<size_t>(r);
        if (nSent < strOut.size() && r == 0)
        {
            const int nWait = WaitFd(m_fd, nWaitFor, deadline, m_config.m_pCancel);
            if (nWait == 0)
                return Fail(ENntpStatus::NetworkError, "Timed out sending to " + Where());
            if (nWait < 0)
                return Fail(ENntpStatus::NetworkError, "The connection to " + Where() + " was lost");
        }
    }
    return {};
}

SNntpResult CNntpConnection::Fill()
{
    if (m_nStart == m_nEnd)
        m_nStart = m_nEnd = 0;
    else if (kBufferSize - m_nEnd < kBufferSize / 4)
    {
        std::memmove(m_pBuf.get(), m_pBuf.get() + m_nStart, m_nEnd - m_nStart);
        m_nEnd -= m_nStart;
        m_nStart = 0;
    }
    if (m_nEnd == kBufferSize)
        return Fail(ENntpStatus::ProtocolError, "A line from " + Where() + " is too long");
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_config.m_nReadTimeoutMs);
    for (;;)
    {
        short nWaitFor = POLLIN;
        if (m_pSsl)
        {
            const int r = SSL_read(m_pSsl, m_pBuf.get() + m_nEnd, static_cast<int>(kBufferSize - m_nEnd));
            if (r > 0)
            {
                m_nEnd += static_cast<size_t>(r);
                return {};
            }
            const int nErr = SSL_get_error(m_pSsl, r);
            if (nErr != SSL_ERROR_WANT_READ && nErr != SSL_ERROR_WANT_WRITE)
            {
                ERR_clear_error();
                return Fail(ENntpStatus::NetworkError, "The server " + Where() + " closed the connection");
            }
            nWaitFor = nErr == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        }
        else
        {
            const ssize_t r = ::recv(m_fd, m_pBuf.get() + m_nEnd, kBufferSize - m_nEnd, 0);
            if (r > 0)
            {
                m_nEnd += static_cast<size_t>(r);
                return {};
            }
            if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return Fail(ENntpStatus::NetworkError, "The server " + Where() + " closed the connection");
        }
        const int nWait = WaitFd(m_fd, nWaitFor, deadline, m_config.m_pCancel);
        if (nWait == 0)
            return Fail(ENntpStatus::NetworkError, "Timed out waiting for " + Where() + " (no answer in " +
                                                       std::to_string(m_config.m_nReadTimeoutMs) + " ms)");
        if (nWait < 0)
            return Fail(ENntpStatus::NetworkError, "The connection to " + Where() + " was lost");
    }
}

SNntpResult CNntpConnection::ReadReply(SNntpReplyLine& reply)
{
    size_t nScanned = m_nStart;
    for (;;)
    {
        const void* pLf = std::memchr(m_pBuf.get() + nScanned, '\n', m_nEnd - nScanned);
        if (pLf)
        {
            const char* pLine = m_pBuf.get() + m_nStart;
            const size_t nLen = static_cast<size_t>(static_cast<const char*>(pLf) - pLine) + 1;
            m_nStart += nLen;
            if (!ParseNntpReplyLine(std::string_view(pLine, nLen), reply))
                return Fail(ENntpStatus::ProtocolError, "Not an NNTP answer from " + Where() + ": " +
                                                            std::string(pLine, std::min<size_t>(nLen, 80)));
            return {};
        }
        if (m_nEnd - m_nStart > kMaxStatusLine)
            return Fail(ENntpStatus::ProtocolError, "Not an NNTP answer from " + Where() + " (overlong line)");
        const size_t nOffset = m_nEnd - m_nStart;
        SNntpResult result = Fill();
        if (!result.Ok())
            return result;
        nScanned = m_nStart + nOffset;
    }
}

SNntpResult CNntpConnection::ReadBlock(std::string& strData)
{
    strData.clear();
    m_unstuffer.Reset();
    for (;;)
    {
        if (m_nStart < m_nEnd)
        {
            m_nStart += m_unstuffer.Feed(m_pBuf.get() + m_nStart, m_nEnd - m_nStart, strData);
            if (m_unstuffer.IsDone())
                return {};
        }
        if (strData.capacity() - strData.size() < kBufferSize)
            strData.reserve(strData.size() * 2 + kBufferSize);
        SNntpResult result = Fill();
        if (!result.Ok())
            return result;
    }
}

} // namespace usenet
