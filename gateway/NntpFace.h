#pragma once

// The simulator's NNTP face: serves the corpus as yEnc multipart posts over
// NNTP (plain or implicit TLS), with faults on request. Every article of the
// corpus is one posted file cut into parts of m_nPartSize bytes; each part is
// one NNTP article whose message-id names the group, the index and the part.
// One thread per connection; start on port 0 and ask for the port.

#include "gateway/GatewaySimulator.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct SNntpFaceFault
{
    int m_nMissingPart = 0;      // this part of every file answers 430
    int m_nCorruptPart = 0;      // this part's data is changed after its pcrc32 was taken
    int m_nDropPart = 0;         // the connection closes halfway through this part's body ...
    int m_nDropTimes = 1;        // ... for its first N requests (then it is served)
    int m_nMaxConnections = 0;   // a connection beyond this many open ones gets greeting 502
    int64_t m_nThrottle = 0;     // bytes per second on every connection, 0 = no limit
    bool m_bGreeting400 = false; // every connection: "400" and close
    bool m_bSilent = false;      // every connection: accepted, then nothing is ever said
    int m_nOverviewDelayMs = 0;  // every OVER / XOVER waits this long before it answers
};

// How the groups read by number (GROUP, OVER / XOVER). Off: GROUP counts
// files and there is no overview. On: every part is one numbered article,
// file after file, the parts of each file numbered in a shuffled order, so
// an overview shows them out of order; subjects take the common shapes.
struct SNntpFacePosting
{
    bool m_bNumbered = false;
    int m_nHoleFile = -1;       // this file's part 2 was never posted: a gap in the numbers, and 430
    bool m_bTextPost = false;   // article 1 of every group is a text post
    bool m_bXoverOnly = false;  // OVER is unknown (500): an older server with XOVER only
};

struct SNntpFaceOptions
{
    std::string m_strBind = "127.0.0.1";
    int m_nPort = 0;                 // 0 = any free port
    int64_t m_nPartSize = 384000;    // decoded bytes per part
    // AUTHINFO USER/PASS pairs accepted; empty = no login needed.
    std::vector<std::pair<std::string, std::string>> m_users;
    bool m_bTls = false;             // implicit TLS with a certificate made at start
    std::string m_strCertName = "localhost"; // the certificate's DNS name (also valid for 127.0.0.1
                                     // unless another name is given)
    std::string m_strCaFile;         // where the throw-away CA goes (PEM); empty = a temporary file
    SNntpFaceFault m_fault;
    SNntpFacePosting m_posting;
};

class CNntpFace
{
public:
    CNntpFace(CGatewayOptions corpus, SNntpFaceOptions options);
    ~CNntpFace();
    CNntpFace(const CNntpFace&) = delete;
    CNntpFace& operator=(const CNntpFace&) = delete;

    // Returns the bound port, 0 on failure (see GetError).
    int Start();
    void Stop();
    int Port() const;
    const std::string& GetError() const;
    // The CA certificate file a client must trust (TLS only).
    std::string CaFile() const;

    void SetFault(const SNntpFaceFault& fault);
    // Reading by number: only the group's first nFiles files are posted so
    // far (-1: all), and the articles below nLow have expired.
    void SetPosted(const std::string& strGroup, int32_t nFiles, int64_t nLow = 1);

    // The corpus as posted.
    CGatewayArticle Article(const std::string& strGroup, int32_t nIndex) const;
    int PartCount(const CGatewayArticle& article) const;
    std::string MessageId(const CGatewayArticle& article, int nPart) const; // without angle brackets
    std::string FileBytes(const CGatewayArticle& article) const;           // what decoding all parts yields
    // The subject the parts of a file are posted under.
    std::string Subject(const CGatewayArticle& article, int nPart) const;
    // The text post of a group (m_bTextPost): its subject and its body as served.
    static std::string TextPostSubject();
    std::string TextPostBody(const std::string& strGroup) const;
    // An NZB 1.1 document of every file in a group ("" for an unknown group).
    std::string Nzb(const std::string& strGroup) const;

    // What the server saw.
    int AcceptedConnections() const;
    int PasswordsReceived() const;  // AUTHINFO PASS commands
    int BodyRequests() const;       // BODY and ARTICLE commands
    // OVER / XOVER commands, and the article numbers they asked for.
    int OverviewRequests() const;
    long long OverviewNumbers() const;

private:
    class CImpl;
    std::unique_ptr<CImpl> m_pImpl;
};
