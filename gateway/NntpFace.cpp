#include "gateway/NntpFace.h"

#include "gateway/GatewayCorpus.h"
#include "yenc/YencEncoder.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <list>
#include <map>
#include <numeric>
#include <mutex>
#include <netinet/in.h>
#include <pthread.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

// ---- Throw-away certificates ------------------------------------------------

struct SKeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct SCertFree
{
    void operator()(X509* p) const { X509_free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, SKeyFree>;
using CertPtr = std::unique_ptr<X509, SCertFree>;

bool AddExtension(X509* pCert, X509* pIssuer, int nNid, const char* pszValue)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, pIssuer, pCert, nullptr, nullptr, 0);
    X509_EXTENSION* pExt = X509V3_EXT_conf_nid(nullptr, &ctx, nNid, pszValue);
    if (!pExt)
        return false;
    const bool bOk = X509_add_ext(pCert, pExt, -1) == 1;
    X509_EXTENSION_free(pExt);
    return bOk;
}

CertPtr MakeCert(EVP_PKEY* pKey, const std::string& strCn, X509* pIssuer, EVP_PKEY* pIssuerKey, long nSerial)
{
    CertPtr pCert(X509_new());
    X509_set_version(pCert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(pCert.get()), nSerial);
    X509_gmtime_adj(X509_getm_notBefore(pCert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(pCert.get()), 7 * 24 * 3600);
    X509_set_pubkey(pCert.get(), pKey);
    X509_NAME* pName = X509_get_subject_name(pCert.get());
    X509_NAME_add_entry_by_txt(pName, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Dravelin simulator"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(strCn.c_str()), -1, -1, 0);
    X509* pSigner = pIssuer ? pIssuer : pCert.get();
    X509_set_issuer_name(pCert.get(), X509_get_subject_name(pSigner));
    bool bOk = AddExtension(pCert.get(), pSigner, NID_subject_key_identifier, "hash");
    if (!pIssuer)
    {
        bOk = bOk && AddExtension(pCert.get(), pSigner, NID_basic_constraints, "critical,CA:TRUE") &&
              AddExtension(pCert.get(), pSigner, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    else
    {
        std::string strSan("DNS:");
        strSan += strCn;
        if (strCn == "localhost")
            strSan += ",IP:127.0.0.1,IP:::1";
        bOk = bOk && AddExtension(pCert.get(), pSigner, NID_authority_key_identifier, "keyid:always") &&
              AddExtension(pCert.get(), pSigner, NID_basic_constraints, "critical,CA:FALSE") &&
              AddExtension(pCert.get(), pSigner, NID_ext_key_usage, "serverAuth") &&
              AddExtension(pCert.get(), pSigner, NID_subject_alt_name, strSan.c_str());
    }
    if (!bOk || X509_sign(pCert.get(), pIssuerKey ? pIssuerKey : pKey, EVP_sha256()) <= 0)
        return nullptr;
    return pCert;
}

// ---- Connection I/O -----------------------------------------------------------

class CStream
{
public:
    CStream(int fd, SSL* pSsl) : m_fd(fd), m_pSsl(pSsl) {}
    bool Write(const char* p, size_t n)
    {
        while (n > 0)
        {
            const ssize_t r = m_pSsl ? SSL_write(m_pSsl, p, static_cast<int>(std::min<size_t>(n, 1 << 20)))
                                     : ::send(m_fd, p, n, MSG_NOSIGNAL);
            if (r <= 0)
            {
                if (!m_pSsl && r < 0 && errno == EINTR)
                    continue;
                return false;
            }
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
    bool Write(const std::string& str) { return Write(str.data(), str.size()); }
    // A line without its end; false at the end of the stream.
    bool ReadLine(std::string& strLine)
    {
        for (;;)
        {
            const size_t nLf = m_strIn.find('\n');
            if (nLf != std::string::npos)
            {
                strLine.assign(m_strIn, 0, nLf);
                m_strIn.erase(0, nLf + 1);
                if (!strLine.empty() && strLine.back() == '\r')
                    strLine.pop_back();
                return true;
            }
            if (m_strIn.size() > 4096)
                return false;
            char buf[4096];
            const ssize_t r = m_pSsl ? SSL_read(m_pSsl, buf, sizeof buf) : ::recv(m_fd, buf, sizeof buf, 0);
            if (r < 0 && !m_pSsl && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            m_strIn.append(buf, static_cast<size_t>(r));
        }
    }

private:
    int m_fd;
    SSL* m_pSsl;
    std::string m_strIn;
};

std::string ToUpper(std::string str)
{
    for (char& c : str)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return str;
}

std::string XmlEscape(const std::string& str)
{
    std::string strOut;
    for (char c : str)
    {
        switch (c)
        {
        case '&': strOut += "&amp;"; break;
        case '<': strOut += "&lt;"; break;
        case '>': strOut += "&gt;"; break;
        case '"': strOut += "&quot;"; break;
        default: strOut += c;
        }
    }
    return strOut;
}

constexpr const char* kIdDomain = "@nntp.dravelin.invalid";
constexpr const char* kTextPostId = ".readme";
// Dates as the NZB of a group gives them: days before a fixed moment.
constexpr int64_t kPostedEpoch = 1700000000;

std::string PostedDate(int32_t nDaysAgo)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = static_cast<time_t>(kPostedEpoch - int64_t{nDaysAgo} * 86400);
    struct tm tmUtc{};
    gmtime_r(&t, &tmUtc);
    char sz[64];
    std::snprintf(sz, sizeof sz, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tmUtc.tm_wday], tmUtc.tm_mday,
                  kMonths[tmUtc.tm_mon], tmUtc.tm_year + 1900, tmUtc.tm_hour, tmUtc.tm_min, tmUtc.tm_sec);
    return sz;
}

// The part posted at position i of a file's n numbers: a fixed shuffle per
// file (a step prime to n), as parts sent over several connections arrive.
int PostedPart(int64_t i, int64_t n, uint64_t nKey)
{
    if (n <= 1)
        return 1;
    int64_t nStep = static_cast<int64_t>(nKey % static_cast<uint64_t>(n)) | 1;
    while (std::gcd(nStep, n) != 1)
        nStep += 2;
    const int64_t nOffset = static_cast<int64_t>((nKey >> 17) % static_cast<uint64_t>(n));
    return static_cast<int>((i * nStep + nOffset) % n) + 1;
}

std::string DotStuffed(const std::string& strBody)
{
    std::string strOut;
    strOut.reserve(strBody.size() + 16);
    size_t nPos = 0;
    while (nPos < strBody.size())
    {
        size_t nEol = strBody.find('\n', nPos);
        nEol = nEol == std::string::npos ? strBody.size() : nEol + 1;
        if (strBody[nPos] == '.')
            strOut += '.';
        strOut.append(strBody, nPos, nEol - nPos);
        nPos = nEol;
    }
    return strOut;
}

} // namespace

class CNntpFace::CImpl
{
public:
    CImpl(CGatewayOptions corpus, SNntpFaceOptions options)
        : m_corpusOptions(std::move(corpus)), m_options(std::move(options)),
          m_corpus(m_corpusOptions.m_nCorpusKey, m_corpusOptions.m_nArticles, m_corpusOptions.m_nDays,
                   m_corpusOptions.m_groups),
          m_fault(m_options.m_fault)
    {
        if (m_options.m_nPartSize < 1)
            m_options.m_nPartSize = 1;
    }

    ~CImpl()
    {
        Stop();
        if (m_pCtx)
            SSL_CTX_free(m_pCtx);
        if (m_bOwnCaFile)
            std::remove(m_strCaFile.c_str());
    }

    bool SetUpTls();
    int Start();
    void Stop();
    void Serve(int fd);
    void Session(CStream& stream, bool& bCounted);
    bool SendPart(CStream& stream, const std::string& strId, bool bArticle);
    bool FindPart(const std::string& strId, CGatewayArticle& article, int& nPart) const;
    std::string PartBody(const CGatewayArticle& article, int nPart, const SNntpFaceFault& fault) const;
    std::string Subject(const CGatewayArticle& article, int nPart) const;
    int PartCount(const CGatewayArticle& article) const;
    std::string Headers(const CGatewayArticle& article, int nPart, const std::string& strId) const;
    std::string TextBody(const std::string& strGroup) const;

    // Reading by number: where each file's parts begin.
    struct SLayout
    {
        int64_t m_nBase = 1;             // the number of the first file's first part
        std::vector<int64_t> m_vecFirst; // per file, from m_nBase; one more entry at the end
        int64_t High() const { return m_nBase + m_vecFirst.back() - 1; }
    };
    // The numbers a group has now (SetPosted): [nLow, nHigh].
    void Numbers(const CGatewayGroup& group, const SLayout& layout, int64_t& nLow, int64_t& nHigh) const;
    std::shared_ptr<const SLayout> Layout(const CGatewayGroup& group) const;
    // The overview line of article nNumber; false when there is none.
    bool OverviewLine(const CGatewayGroup& group, const SLayout& layout, int64_t nNumber, std::string& strLine) const;
    bool Over(CStream& stream, const std::string& strGroup, const std::string& strRange);

    CGatewayOptions m_corpusOptions;
    SNntpFaceOptions m_options;
    CGatewayCorpus m_corpus;
    mutable std::mutex m_mutex;
    SNntpFaceFault m_fault;
    std::map<int, int> m_mapDrops; // part -> drops done
    std::string m_strError;
    std::string m_strCaFile;
    bool m_bOwnCaFile = false;
    SSL_CTX* m_pCtx = nullptr;
    int m_listenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_acceptThread;
    std::list<std::thread> m_threads;
    std::set<int> m_setClients;
    int m_nActive = 0;
    std::atomic<int> m_nAccepted{0};
    std::atomic<int> m_nPasswords{0};
    std::atomic<int> m_nBodies{0};
    std::atomic<int> m_nOverviews{0};
    std::atomic<long long> m_nOverviewNumbers{0};
    mutable std::mutex m_layoutMutex;
    mutable std::map<std::string, std::shared_ptr<const SLayout>> m_layouts;
    std::map<std::string, std::pair<int32_t, int64_t>> m_posted; // group -> files posted, low mark
};

void CNntpFace::CImpl::Numbers(const CGatewayGroup& group, const SLayout& layout, int64_t& nLow, int64_t& nHigh) const
{
    std::lock_guard lock(m_mutex);
    nLow = 1;
    nHigh = layout.High();
    const auto it = m_posted.find(group.m_strName);
    if (it == m_posted.end())
        return;
    const int32_t nFiles = it->second.first;
    if (nFiles >= 0 && nFiles < group.m_nArticles)
        nHigh = layout.m_nBase + layout.m_vecFirst[static_cast<size_t>(nFiles)] - 1;
    nLow = std::max<int64_t>(1, it->second.second);
}

bool CNntpFace::CImpl::SetUpTls()
{
    KeyPtr pCaKey(EVP_EC_gen("P-256"));
    KeyPtr pKey(EVP_EC_gen("P-256"));
    if (!pCaKey || !pKey)
        return false;
    CertPtr pCa = MakeCert(pCaKey.get(), "Dravelin simulator test CA", nullptr, nullptr, 1);
    if (!pCa)
        return false;
    CertPtr pCert = MakeCert(pKey.get(), m_options.m_strCertName, pCa.get(), pCaKey.get(), 2);
    if (!pCert)
        return false;

    m_strCaFile = m_options.m_strCaFile;
    FILE* pFile = nullptr;
    if (m_strCaFile.empty())
    {
        char szPath[] = "/tmp/dravelin-nntp-ca-XXXXXX";
        const int fd = ::mkstemp(szPath);
        if (fd < 0)
            return false;
        m_strCaFile = szPath;
        m_bOwnCaFile = true;
        pFile = ::fdopen(fd, "w");
    }
    else
        pFile = std::fopen(m_strCaFile.c_str(), "w");
    if (!pFile)
        return false;
    const bool bWritten = PEM_write_X509(pFile, pCa.get()) == 1;
    if (std::fclose(pFile) != 0 || !bWritten)
        return false;

    m_pCtx = SSL_CTX_new(TLS_server_method());
    return m_pCtx && SSL_CTX_use_certificate(m_pCtx, pCert.get()) == 1 &&
           SSL_CTX_use_PrivateKey(m_pCtx, pKey.get()) == 1;
}

int CNntpFace::CImpl::Start()
{
    if (m_listenFd >= 0)
        return m_nPort;
    if (m_options.m_bTls && !SetUpTls())
    {
        m_strError.assign("cannot make the TLS certificates");
        ERR_clear_error();
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_options.m_nPort));
    if (inet_pton(AF_INET, m_options.m_strBind.c_str(), &addr.sin_addr) != 1)
    {
        m_strError = "bad bind address " + m_options.m_strBind;
        return 0;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int nOne = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
    socklen_t nLen = sizeof addr;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0)
    {
        m_strError = std::strerror(errno);
        ::close(m_listenFd);
        m_listenFd = -1;
        return 0;
    }
    m_nPort = ntohs(addr.sin_port);
    m_bStop = false;
    m_acceptThread = std::thread([this] {
        for (;;)
        {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (m_bStop)
            {
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            if (fd < 0)
            {
                if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE)
                    continue;
                return;
            }
            ++m_nAccepted;
            std::lock_guard lock(m_mutex);
            m_setClients.insert(fd);
            m_threads.emplace_back([this, fd] { Serve(fd); });
        }
    });
    return m_nPort;
}

void CNntpFace::CImpl::Stop()
{
    if (m_listenFd < 0)
        return;
    m_bStop = true;
    ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    ::close(m_listenFd);
    m_listenFd = -1;
    std::list<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_setClients)
            ::shutdown(fd, SHUT_RDWR);
        threads.swap(m_threads);
    }
    for (auto& thread : threads)
        thread.join();
}

void CNntpFace::CImpl::Serve(int fd)
{
    // A client that hangs up must not take the whole process down with SIGPIPE.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SNntpFaceFault fault;
    bool bTooMany = false;
    {
        std::lock_guard lock(m_mutex);
        fault = m_fault;
        bTooMany = fault.m_nMaxConnections > 0 && m_nActive >= fault.m_nMaxConnections;
        // A connection turned away does not hold a place.
        if (!bTooMany)
            ++m_nActive;
    }
    bool bCounted = !bTooMany;
    SSL* pSsl = nullptr;
    bool bReady = true;
    if (m_pCtx)
    {
        pSsl = SSL_new(m_pCtx);
        SSL_set_fd(pSsl, fd);
        bReady = SSL_accept(pSsl) == 1;
        ERR_clear_error();
    }
    if (bReady)
    {
        CStream stream(fd, pSsl);
        if (fault.m_bSilent)
        {
            std::string strLine;
            while (stream.ReadLine(strLine))
            {
            }
        }
        else if (fault.m_bGreeting400)
            stream.Write("400 Service temporarily unavailable\r\n");
        else if (bTooMany)
            stream.Write("502 Too many connections for this account\r\n");
        else
            Session(stream, bCounted);
    }
    if (pSsl)
    {
        SSL_shutdown(pSsl);
        SSL_free(pSsl);
        ERR_clear_error();
    }
    std::lock_guard lock(m_mutex);
    if (bCounted)
        --m_nActive;
    m_setClients.erase(fd);
    ::close(fd);
}

void CNntpFace::CImpl::Session(CStream& stream, bool& bCounted)
{
    const bool bLogin = !m_options.m_users.empty();
    bool bAuthed = !bLogin;
    std::string strUser;
    bool bHaveUser = false;
    std::string strGroup;
    if (!stream.Write("200 Dravelin simulator NNTP service ready\r\n"))
        return;
    std::string strLine;
    while (!m_bStop && stream.ReadLine(strLine))
    {
        const size_t nBlank = strLine.find(' ');
        const std::string strVerb = ToUpper(strLine.substr(0, nBlank));
        std::string strArg = nBlank == std::string::npos ? std::string() : strLine.substr(nBlank + 1);
        while (!strArg.empty() && strArg.front() == ' ')
            strArg.erase(0, 1);
        bool bOk = true;
        if (strVerb == "QUIT")
        {
            // The place is free before the client reads the answer, so that
            // a client that quit and connects again is not turned away.
            {
                std::lock_guard lock(m_mutex);
                --m_nActive;
                bCounted = false;
            }
            stream.Write("205 Bye\r\n");
            return;
        }
        else if (strVerb == "CAPABILITIES")
        {
            std::string strList("101 Capability list follows\r\nVERSION 2\r\nREADER\r\n");
            if (bLogin && !bAuthed)
                strList += "AUTHINFO USER\r\n";
            strList += "MODE-READER\r\n.\r\n";
            bOk = stream.Write(strList);
        }
        else if (!bAuthed && strVerb != "AUTHINFO")
            bOk = stream.Write("480 Authentication required\r\n");
        else if (strVerb == "MODE")
            bOk = stream.Write(ToUpper(strArg) == "READER" ? "201 Reader mode, posting not allowed\r\n"
                                                           : "501 Unknown mode\r\n");
        else if (strVerb == "AUTHINFO")
        {
            const std::string strWhat = ToUpper(strArg.substr(0, strArg.find(' ')));
            const std::string strValue = strArg.find(' ') == std::string::npos ? std::string()
                                                                               : strArg.substr(strArg.find(' ') + 1);
            if (!bLogin)
                bOk = stream.Write("281 No login needed here\r\n");
            else if (bAuthed)
                bOk = stream.Write("502 Already authenticated\r\n");
            else if (strWhat == "USER")
            {
                strUser = strValue;
                bHaveUser = true;
                bOk = stream.Write("381 Password required\r\n");
            }
            else if (strWhat == "PASS")
            {
                ++m_nPasswords;
                bool bMatch = false;
                for (const auto& [strName, strPassword] : m_options.m_users)
                    bMatch = bMatch || (bHaveUser && strName == strUser && strPassword == strValue);
                if (!bHaveUser)
                    bOk = stream.Write("482 Authentication commands issued out of sequence\r\n");
                else if (bMatch)
                {
                    bAuthed = true;
                    bOk = stream.Write("281 Authentication accepted\r\n");
                }
                else
                    bOk = stream.Write("481 Authentication failed\r\n");
                bHaveUser = false;
            }
            else
                bOk = stream.Write("501 Unknown AUTHINFO variant\r\n");
        }
        else if (strVerb == "GROUP")
        {
            const CGatewayGroup* pGroup = m_corpus.FindGroup(strArg);
            if (!pGroup)
                bOk = stream.Write("411 No such newsgroup\r\n");
            else if (m_options.m_posting.m_bNumbered)
            {
                strGroup = strArg;
                const auto pLayout = Layout(*pGroup);
                int64_t nLow = 1, nHigh = 0;
                Numbers(*pGroup, *pLayout, nLow, nHigh);
                const bool bHole = m_options.m_posting.m_nHoleFile >= 0 &&
                                   m_options.m_posting.m_nHoleFile < pGroup->m_nArticles;
                const int64_t nCount = std::max<int64_t>(0, nHigh - nLow + 1 - (bHole ? 1 : 0));
                bOk = stream.Write("211 " + std::to_string(nCount) + " " + std::to_string(nHigh >= nLow ? nLow : 0) +
                                   " " + std::to_string(nHigh) + " " + strArg + "\r\n");
            }
            else
            {
                strGroup = strArg;
                const std::string strCount = std::to_string(pGroup->m_nArticles);
                bOk = stream.Write("211 " + strCount + " " + (pGroup->m_nArticles > 0 ? "1 " : "0 ") + strCount + " " +
                                   strArg + "\r\n");
            }
        }
        else if ((strVerb == "OVER" && !m_options.m_posting.m_bXoverOnly) || strVerb == "XOVER")
        {
            if (!m_options.m_posting.m_bNumbered)
                bOk = stream.Write("500 Unknown command\r\n");
            else if (strGroup.empty())
                bOk = stream.Write("412 No newsgroup selected\r\n");
            else
                bOk = Over(stream, strGroup, strArg);
        }
        else if (strVerb == "STAT" || strVerb == "BODY" || strVerb == "ARTICLE")
        {
            CGatewayArticle article;
            int nPart = 0;
            if (strArg.size() < 3 || strArg.front() != '<' || strArg.back() != '>')
                bOk = stream.Write("423 Only message-ids are served here\r\n");
            else if (const std::string strId = strArg.substr(1, strArg.size() - 2);
                     m_options.m_posting.m_bTextPost &&
                     strId.size() > std::strlen(kTextPostId) + std::strlen(kIdDomain) &&
                     strId.compare(strId.size() - std::strlen(kIdDomain), std::string::npos, kIdDomain) == 0 &&
                     m_corpus.FindGroup(strId.substr(0, strId.size() - std::strlen(kIdDomain) -
                                                            std::strlen(kTextPostId))) &&
                     strId.compare(strId.size() - std::strlen(kIdDomain) - std::strlen(kTextPostId),
                                   std::strlen(kTextPostId), kTextPostId) == 0)
            {
                const std::string strTextGroup =
                    strId.substr(0, strId.size() - std::strlen(kIdDomain) - std::strlen(kTextPostId));
                if (strVerb == "STAT")
                    bOk = stream.Write("223 0 " + strArg + "\r\n");
                else
                {
                    ++m_nBodies;
                    std::string strOut((strVerb == "ARTICLE" ? "220 0 " : "222 0 ") + strArg + " follows\r\n");
                    if (strVerb == "ARTICLE")
                        strOut += "From: moderator@example.invalid\r\nNewsgroups: " + strTextGroup + "\r\nSubject: " +
                                  TextPostSubject() + "\r\nMessage-ID: " + strArg + "\r\n\r\n";
                    strOut += DotStuffed(TextBody(strTextGroup)) + ".\r\n";
                    bOk = stream.Write(strOut);
                }
            }
            else if (!FindPart(strId, article, nPart))
                bOk = stream.Write("430 No such article\r\n");
            else if (strVerb == "STAT")
                bOk = stream.Write("223 0 " + strArg + "\r\n");
            else
            {
                ++m_nBodies;
                bOk = SendPart(stream, strArg.substr(1, strArg.size() - 2), strVerb == "ARTICLE");
            }
        }
        else
            bOk = stream.Write("500 Unknown command\r\n");
        if (!bOk)
            return;
    }
}

bool CNntpFace::CImpl::FindPart(const std::string& strId, CGatewayArticle& article, int& nPart) const
{
    // <group>.<index>.part<p>of<n>@domain
    const size_t nAt = strId.find('@');
    if (nAt == std::string::npos || strId.compare(nAt, std::string::npos, kIdDomain) != 0)
        return false;
    const std::string strLocal = strId.substr(0, nAt);
    const size_t nDot2 = strLocal.rfind('.');
    if (nDot2 == std::string::npos || nDot2 == 0)
        return false;
    const size_t nDot1 = strLocal.rfind('.', nDot2 - 1);
    if (nDot1 == std::string::npos)
        return false;
    int nTotal = 0;
    if (std::sscanf(strLocal.c_str() + nDot2 + 1, "part%dof%d", &nPart, &nTotal) != 2)
        return false;
    const std::string strIndex = strLocal.substr(nDot1 + 1, nDot2 - nDot1 - 1);
    if (strIndex.empty() || strIndex.find_first_not_of("0123456789") != std::string::npos || strIndex.size() > 9)
        return false;
    const CGatewayGroup* pGroup = m_corpus.FindGroup(strLocal.substr(0, nDot1));
    const int nIndex = std::atoi(strIndex.c_str());
    if (!pGroup || nIndex >= pGroup->m_nArticles)
        return false;
    article = m_corpus.Article(*pGroup, nIndex);
    const int64_t nParts = std::max<int64_t>(1, (article.m_nSize + m_options.m_nPartSize - 1) / m_options.m_nPartSize);
    if (nTotal != nParts || nPart < 1 || nPart > nTotal)
        return false;
    if (m_options.m_posting.m_nHoleFile == nIndex && nPart == 2)
        return false;
    std::lock_guard lock(m_mutex);
    return nPart != m_fault.m_nMissingPart;
}

std::string CNntpFace::CImpl::PartBody(const CGatewayArticle& article, int nPart, const SNntpFaceFault& fault) const
{
    const int64_t nParts = std::max<int64_t>(1, (article.m_nSize + m_options.m_nPartSize - 1) / m_options.m_nPartSize);
    const int64_t nBegin = (nPart - 1) * m_options.m_nPartSize;
    const int64_t nLength = std::min(m_options.m_nPartSize, article.m_nSize - nBegin);
    std::string strData(static_cast<size_t>(std::max<int64_t>(0, nLength)), '\0');
    GatewayFillBody(article.m_nBodyKey, nBegin, strData.data(), strData.size());
    const uLong nCrc = crc32(0, reinterpret_cast<const Bytef*>(strData.data()), static_cast<uInt>(strData.size()));
    const bool bCorrupt = nPart == fault.m_nCorruptPart && !strData.empty();
    if (bCorrupt)
        strData[strData.size() / 2] = static_cast<char>(strData[strData.size() / 2] ^ 0x55);
    usenet::SYencEncodeOptions options;
    options.m_strName = article.m_strFileName;
    options.m_nPart = nPart;
    options.m_nTotal = static_cast<int>(nParts);
    options.m_nBegin = static_cast<uint64_t>(nBegin) + 1;
    options.m_nFileSize = static_cast<uint64_t>(article.m_nSize);
    std::string strBody = usenet::YencEncode(strData, options);
    if (bCorrupt)
    {
        // The part's checksum stays the one of the bytes as they should be.
        const size_t nPos = strBody.rfind("pcrc32=");
        char szCrc[9];
        std::snprintf(szCrc, sizeof szCrc, "%08lx", static_cast<unsigned long>(nCrc));
        if (nPos != std::string::npos)
            strBody.replace(nPos + 7, 8, szCrc);
    }
    return strBody;
}

int CNntpFace::CImpl::PartCount(const CGatewayArticle& article) const
{
    return static_cast<int>(std::max<int64_t>(1, (article.m_nSize + m_options.m_nPartSize - 1) / m_options.m_nPartSize));
}

std::string CNntpFace::CImpl::Subject(const CGatewayArticle& article, int nPart) const
{
    const std::string strCounter = "(" + std::to_string(nPart) + "/" + std::to_string(PartCount(article)) + ")";
    if (!m_options.m_posting.m_bNumbered)
        return "\"" + article.m_strFileName + "\" yEnc " + strCounter;
    // The shapes posters use, file by file.
    switch (article.m_nIndex % 4)
    {
    case 1:
        return "[" + std::to_string(article.m_nIndex + 1) + "/" + std::to_string(article.m_nIndex + 3) + "] - \"" +
               article.m_strFileName + "\" yEnc " + strCounter;
    case 2: return "Posting " + std::to_string(article.m_nIndex) + " - " + article.m_strFileName + " " + strCounter;
    case 3: return article.m_strFileName + " yEnc " + strCounter;
    default: return "\"" + article.m_strFileName + "\" yEnc " + strCounter;
    }
}

std::string CNntpFace::CImpl::Headers(const CGatewayArticle& article, int nPart, const std::string& strId) const
{
    return "Path: dravelin-simulator!not-for-mail\r\nFrom: " + article.m_strAuthor + "\r\nNewsgroups: " +
           article.m_strGroup + "\r\nSubject: " + Subject(article, nPart) + "\r\nDate: " +
           PostedDate(article.m_nDay) + "\r\nMessage-ID: <" + strId + ">\r\n\r\n";
}

std::string CNntpFace::CImpl::TextBody(const std::string& strGroup) const
{
    return "Welcome to " + strGroup + ".\r\n\r\nPost complete files only, please.\r\n"
           ".signature lines begin with a dot here\r\n";
}

std::shared_ptr<const CNntpFace::CImpl::SLayout> CNntpFace::CImpl::Layout(const CGatewayGroup& group) const
{
    std::lock_guard lock(m_layoutMutex);
    auto& pLayout = m_layouts[group.m_strName];
    if (!pLayout)
    {
        auto pNew = std::make_shared<SLayout>();
        pNew->m_nBase = m_options.m_posting.m_bTextPost ? 2 : 1;
        pNew->m_vecFirst.reserve(static_cast<size_t>(group.m_nArticles) + 1);
        int64_t nNext = 0;
        for (int32_t i = 0; i < group.m_nArticles; ++i)
        {
            pNew->m_vecFirst.push_back(nNext);
            nNext += PartCount(m_corpus.Article(group, i, CGatewayCorpus::DetailNewsGuyPage));
        }
        pNew->m_vecFirst.push_back(nNext);
        pLayout = std::move(pNew);
    }
    return pLayout;
}

bool CNntpFace::CImpl::OverviewLine(const CGatewayGroup& group, const SLayout& layout, int64_t nNumber,
                                    std::string& strLine) const
{
    if (nNumber < 1 || nNumber > layout.High())
        return false;
    std::string strSubject, strFrom, strDate, strId, strBody, strHead;
    if (nNumber < layout.m_nBase)
    {
        strSubject = TextPostSubject();
        strFrom = "moderator@example.invalid";
        strDate = PostedDate(0);
        strId = group.m_strName + kTextPostId + kIdDomain;
        strBody = TextBody(group.m_strName);
        strHead = "From: " + strFrom + "\r\nSubject: " + strSubject + "\r\n\r\n";
    }
    else
    {
        const int64_t nOffset = nNumber - layout.m_nBase;
        const auto it = std::upper_bound(layout.m_vecFirst.begin(), layout.m_vecFirst.end(), nOffset) - 1;
        const auto nIndex = static_cast<int32_t>(it - layout.m_vecFirst.begin());
        const CGatewayArticle article = m_corpus.Article(group, nIndex);
        const int nParts = PartCount(article);
        const int nPart = PostedPart(nOffset - *it, nParts, article.m_nBodyKey);
        if (nIndex == m_options.m_posting.m_nHoleFile && nPart == 2)
            return false;
        strSubject = Subject(article, nPart);
        strFrom = article.m_strAuthor;
        strDate = PostedDate(article.m_nDay);
        strId = article.m_strGroup + "." + std::to_string(nIndex) + ".part" + std::to_string(nPart) + "of" +
                std::to_string(nParts) + kIdDomain;
        strHead = Headers(article, nPart, strId);
        strBody = PartBody(article, nPart, SNntpFaceFault{});
    }
    const auto nLines = std::count(strBody.begin(), strBody.end(), '\n');
    strLine = std::to_string(nNumber) + "\t" + strSubject + "\t" + strFrom + "\t" + strDate + "\t<" + strId + ">\t\t" +
              std::to_string(strHead.size() + strBody.size()) + "\t" + std::to_string(nLines) + "\r\n";
    return true;
}

bool CNntpFace::CImpl::Over(CStream& stream, const std::string& strGroup, const std::string& strRange)
{
    const CGatewayGroup* pGroup = m_corpus.FindGroup(strGroup);
    const auto pLayout = Layout(*pGroup);
    // "n", "n-" or "n-m"
    char* pEnd = nullptr;
    const long long nLow = std::strtoll(strRange.c_str(), &pEnd, 10);
    if (pEnd == strRange.c_str())
        return stream.Write("420 No current article selected\r\n");
    int64_t nFirst = 1, nLast = 0;
    Numbers(*pGroup, *pLayout, nFirst, nLast);
    long long nHigh = nLow;
    if (*pEnd == '-')
        nHigh = pEnd[1] ? std::strtoll(pEnd + 1, nullptr, 10) : nLast;
    ++m_nOverviews;
    int nDelayMs = 0;
    {
        std::lock_guard lock(m_mutex);
        nDelayMs = m_fault.m_nOverviewDelayMs;
    }
    for (int i = 0; i < nDelayMs / 10 && !m_bStop; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    nHigh = std::min<long long>(nHigh, nLast);
    std::string strOut("224 Overview information follows\r\n");
    bool bAny = false;
    std::string strLine;
    for (long long n = std::max<long long>(nFirst, nLow); n <= nHigh && !m_bStop; ++n)
    {
        ++m_nOverviewNumbers;
        if (OverviewLine(*pGroup, *pLayout, n, strLine))
        {
            strOut += strLine;
            bAny = true;
        }
    }
    if (!bAny)
        return stream.Write("423 No articles in that range\r\n");
    strOut += ".\r\n";
    return stream.Write(strOut);
}

bool CNntpFace::CImpl::SendPart(CStream& stream, const std::string& strId, bool bArticle)
{
    CGatewayArticle article;
    int nPart = 0;
    FindPart(strId, article, nPart);
    SNntpFaceFault fault;
    bool bDrop = false;
    {
        std::lock_guard lock(m_mutex);
        fault = m_fault;
        if (nPart == fault.m_nDropPart && m_mapDrops[nPart] < fault.m_nDropTimes)
        {
            ++m_mapDrops[nPart];
            bDrop = true;
        }
    }
    std::string strOut(bArticle ? "220 0 <" : "222 0 <");
    strOut += strId;
    strOut += "> follows\r\n";
    if (bArticle)
        strOut += Headers(article, nPart, strId);
    // Dot-stuffing: a line that begins with "." gets one more in front.
    strOut += DotStuffed(PartBody(article, nPart, fault));
    strOut += ".\r\n";
    if (bDrop)
    {
        stream.Write(strOut.data(), strOut.size() / 2);
        return false;
    }
    if (fault.m_nThrottle <= 0)
        return stream.Write(strOut);
    const size_t nChunk = static_cast<size_t>(std::clamp<int64_t>(fault.m_nThrottle / 10, 1, 65536));
    const auto start = std::chrono::steady_clock::now();
    for (size_t nSent = 0; nSent < strOut.size() && !m_bStop; nSent += nChunk)
    {
        if (!stream.Write(strOut.data() + nSent, std::min(nChunk, strOut.size() - nSent)))
            return false;
        const auto due = start + std::chrono::microseconds(static_cast<int64_t>(nSent + nChunk) * 1000000 /
                                                           fault.m_nThrottle);
        std::this_thread::sleep_until(due);
    }
    return !m_bStop;
}

// ---- CNntpFace ------------------------------------------------------------------

CNntpFace::CNntpFace(CGatewayOptions corpus, SNntpFaceOptions options)
    : m_pImpl(std::make_unique<CImpl>(std::move(corpus), std::move(options)))
{
}

CNntpFace::~CNntpFace() = default;

int CNntpFace::Start()
{
    return m_pImpl->Start();
}

void CNntpFace::Stop()
{
    m_pImpl->Stop();
}

int CNntpFace::Port() const
{
    return m_pImpl->m_nPort;
}

const std::string& CNntpFace::GetError() const
{
    return m_pImpl->m_strError;
}

std::string CNntpFace::CaFile() const
{
    return m_pImpl->m_strCaFile;
}

void CNntpFace::SetFault(const SNntpFaceFault& fault)
{
    std::lock_guard lock(m_pImpl->m_mutex);
    m_pImpl->m_fault = fault;
    m_pImpl->m_mapDrops.clear();
}

void CNntpFace::SetPosted(const std::string& strGroup, int32_t nFiles, int64_t nLow)
{
    std::lock_guard lock(m_pImpl->m_mutex);
    m_pImpl->m_posted[strGroup] = {nFiles, nLow};
}

CGatewayArticle CNntpFace::Article(const std::string& strGroup, int32_t nIndex) const
{
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    return pGroup ? m_pImpl->m_corpus.Article(*pGroup, nIndex) : CGatewayArticle();
}

int CNntpFace::PartCount(const CGatewayArticle& article) const
{
    return m_pImpl->PartCount(article);
}

std::string CNntpFace::Subject(const CGatewayArticle& article, int nPart) const
{
    return m_pImpl->Subject(article, nPart);
}

std::string CNntpFace::TextPostSubject()
{
    return "Read me first: the rules of this group";
}

std::string CNntpFace::TextPostBody(const std::string& strGroup) const
{
    return m_pImpl->TextBody(strGroup);
}

std::string CNntpFace::MessageId(const CGatewayArticle& article, int nPart) const
{
    return article.m_strGroup + "." + std::to_string(article.m_nIndex) + ".part" + std::to_string(nPart) + "of" +
           std::to_string(PartCount(article)) + kIdDomain;
}

std::string CNntpFace::FileBytes(const CGatewayArticle& article) const
{
    std::string str(static_cast<size_t>(article.m_nSize), '\0');
    GatewayFillBody(article.m_nBodyKey, 0, str.data(), str.size());
    return str;
}

std::string CNntpFace::Nzb(const std::string& strGroup) const
{
    const CGatewayGroup* pGroup = m_pImpl->m_corpus.FindGroup(strGroup);
    if (!pGroup)
        return {};
    std::string strXml("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
                       "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
                       "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n"
                       " <head><meta type=\"title\">");
    strXml += XmlEscape(strGroup);
    strXml += "</meta></head>\n";
    const int64_t nPartSize = m_pImpl->m_options.m_nPartSize;
    for (int32_t i = 0; i < pGroup->m_nArticles; ++i)
    {
        const CGatewayArticle article = m_pImpl->m_corpus.Article(*pGroup, i);
        const int nParts = PartCount(article);
        strXml += " <file poster=\"" + XmlEscape(article.m_strAuthor) + "\" date=\"" +
                  std::to_string(1700000000 - int64_t{article.m_nDay} * 86400) + "\" subject=\"" +
                  XmlEscape(m_pImpl->Subject(article, 1)) + "\">\n  <groups><group>" + XmlEscape(strGroup) +
                  "</group></groups>\n  <segments>\n";
        for (int p = 1; p <= nParts; ++p)
        {
            const int64_t nLength = std::min(nPartSize, article.m_nSize - (p - 1) * nPartSize);
            // The size as posted: yEnc adds about 2% and the keyword lines.
            const int64_t nBytes = nLength + nLength / 50 + 200;
            strXml += "   <segment bytes=\"" + std::to_string(nBytes) + "\" number=\"" + std::to_string(p) + "\">" +
                      XmlEscape(MessageId(article, p)) + "</segment>\n";
        }
        strXml += "  </segments>\n </file>\n";
    }
    strXml += "</nzb>\n";
    return strXml;
}

int CNntpFace::AcceptedConnections() const
{
    return m_pImpl->m_nAccepted;
}

int CNntpFace::PasswordsReceived() const
{
    return m_pImpl->m_nPasswords;
}

int CNntpFace::BodyRequests() const
{
    return m_pImpl->m_nBodies;
}

int CNntpFace::OverviewRequests() const
{
    return m_pImpl->m_nOverviews;
}

long long CNntpFace::OverviewNumbers() const
{
    return m_pImpl->m_nOverviewNumbers;
}
