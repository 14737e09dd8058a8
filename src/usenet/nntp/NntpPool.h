#pragma once

// A pool of NNTP connections to one server. Connections are opened on demand
// (up to the configured number), lent for one command at a time and put back
// when the reply was read whole; a connection that errs is closed, never
// reused in an unknown state. Safe to use from several threads at once.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace usenet
{

struct SServerConfig
{
    std::string m_strHost;
    int m_nPort = 119;           // 563 is the usual port for implicit TLS
    bool m_bTls = false;         // implicit TLS: the handshake comes before the greeting
    std::string m_strCaFile;     // PEM file trusted besides the system store; empty = none
    bool m_bVerify = true;       // check the certificate chain and the host name
    std::string m_strUser;       // empty = no AUTHINFO unless the server asks (then: wrong login)
    std::string m_strPassword;
    int m_nConnections = 8;      // 1..50
    int m_nConnectTimeoutMs = 10000;
    int m_nReadTimeoutMs = 30000; // for every single read
    // When set and it turns true, every wait ends within a fraction of a
    // second as a network error (a test run the user stopped). The name
    // look-up alone cannot be stopped; it ends on its own.
    const std::atomic<bool>* m_pCancel = nullptr;
};

enum class ENntpStatus
{
    Ok,
    NoSuchArticle, // 430 / 423
    NoSuchGroup,   // 411
    AuthFailed,    // 481 / 482 / 502 to AUTHINFO, or a login asked for and none configured
    Refused,       // 400 / 502 greeting, connection refused
    NetworkError,  // host not found, timed out, connection lost
    TlsError,      // handshake failed, certificate not trusted, host name mismatch
    ProtocolError, // a reply we cannot read or did not expect
};

// The outcome of one command. m_strText is a clear reason for a user when
// m_nStatus is not Ok (the server's own text included where it gave one).
struct SNntpResult
{
    ENntpStatus m_nStatus = ENntpStatus::Ok;
    int m_nCode = 0; // the server's status code; 0 when none was read
    std::string m_strText;

    bool Ok() const { return m_nStatus == ENntpStatus::Ok; }
};

// BODY / ARTICLE: m_strBody holds the data lines with dot-stuffing undone,
// line ends as sent, without the terminating ".".
struct SBodyResult : SNntpResult
{
    std::string m_strBody;
};

struct SGroupResult : SNntpResult
{
    long long m_nCount = 0;
    long long m_nLow = 0;
    long long m_nHigh = 0;
};

// What a "test the server" run found out.
struct SProbeResult : SNntpResult
{
    int m_nGreetingCode = 0;
    std::string m_strGreeting;            // the greeting line's text
    bool m_bTls = false;                  // the connection was encrypted
    bool m_bTlsVerified = false;          // chain and name checked and good
    std::string m_strTlsName;             // the name (or address) the certificate was checked against
    std::string m_strTlsVersion;          // "TLSv1.3"
    bool m_bLoginTried = false;
    bool m_bLoginAccepted = false;
    std::vector<std::string> m_vecCapabilities; // empty when the server gave no list
    int m_nConnectionsTried = 0;
    int m_nConnectionsAllowed = 0;        // how many of the tried ones opened and logged in
    std::string m_strConnectionRefused;   // why the first one beyond them did not open (code, text)
    bool m_bCancelled = false;            // stopped through m_pCancel
};

class CNntpConnection;
struct SNntpReplyLine;

class CNntpPool
{
public:
    explicit CNntpPool(SServerConfig config);
    ~CNntpPool();
    CNntpPool(const CNntpPool&) = delete;
    CNntpPool& operator=(const CNntpPool&) = delete;

    // Message-ids are taken with or without the angle brackets.
    SBodyResult FetchBody(std::string_view strMessageId);
    SBodyResult FetchArticle(std::string_view strMessageId); // headers, empty line, body
    SNntpResult Stat(std::string_view strMessageId);
    SGroupResult Group(std::string_view strGroup);

    // Connects once with the settings (and then tries to hold nConnections
    // at once, when more than 1) and reports what it saw.
    static SProbeResult Probe(const SServerConfig& config, int nConnections = 1);

    // The number of connections the pool opens at most: the configured one,
    // less when the server turned further connections away.
    int GetCapacity() const;
    int GetOpenCount() const;

    // "<id>" for "id" or "<id>".
    static std::string BracketId(std::string_view strMessageId);

private:
    friend class CNntpGroupReader;
    std::unique_ptr<CNntpConnection> Acquire(bool bFresh, SNntpResult& error);
    void Release(std::unique_ptr<CNntpConnection> pConnection);
    SBodyResult Run(const std::string& strCommand, int nOkCode, bool bMultiLine);

    SServerConfig m_config;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::unique_ptr<CNntpConnection>> m_vecIdle;
    int m_nOpen = 0;     // lent + idle + being opened
    int m_nCapacity = 0;
};

// One connection of a pool held for a run of commands that build on each
// other: GROUP selects the group, OVER reads its overview by numbers. The
// connection goes back to the pool with the reader. A connection lost under
// a command is replaced, the group selected again and the command sent once
// more. Not thread-safe.
class CNntpGroupReader
{
public:
    explicit CNntpGroupReader(CNntpPool& pool);
    ~CNntpGroupReader();
    CNntpGroupReader(const CNntpGroupReader&) = delete;
    CNntpGroupReader& operator=(const CNntpGroupReader&) = delete;

    SGroupResult Group(std::string_view strGroup);
    // The overview lines of articles nLow..nHigh (dot-stuffing undone, line
    // ends as sent) into strData. OVER first; XOVER on a server that does
    // not know it. No articles in the range (423) is Ok with no lines.
    SNntpResult Over(long long nLow, long long nHigh, std::string& strData);

private:
    SNntpResult Run(const std::string& strCommand, int nOkCode, bool bMultiLine, std::string* pstrData,
                    SNntpReplyLine* pReply);

    CNntpPool& m_pool;
    std::unique_ptr<CNntpConnection> m_pConnection;
    std::string m_strGroup;  // selected on the connection
    bool m_bXover = false;   // the server knows only XOVER
};

} // namespace usenet
