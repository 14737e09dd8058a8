#pragma once

// One NNTP connection: plain TCP or implicit TLS, every wait bounded by the
// configured time limits. Not thread-safe; the pool lends it to one thread
// at a time.

#include "nntp/NntpPool.h"
#include "nntp/NntpReply.h"

#include <memory>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace usenet
{

class CNntpConnection
{
public:
    CNntpConnection();
    ~CNntpConnection();
    CNntpConnection(const CNntpConnection&) = delete;
    CNntpConnection& operator=(const CNntpConnection&) = delete;

    // Connects, reads the greeting, switches to reader mode and logs in when
    // a user is set. With pProbe, also asks for the capabilities and notes
    // what it saw there.
    SNntpResult Open(const SServerConfig& config, SProbeResult* pProbe = nullptr);

    // Sends strCommand (no line end) and reads the reply; nOkCode is the code
    // of success, bMultiLine says that it carries data (read into *pstrData).
    // A 480 is answered by logging in and sending the command once more.
    SNntpResult Command(std::string_view strCommand, int nOkCode, bool bMultiLine, std::string* pstrData,
                        SNntpReplyLine* pReply = nullptr);

    // False once anything went wrong that leaves the stream in an unknown state.
    bool IsUsable() const { return m_fd >= 0 && !m_bBroken; }
    // True until the first command after Open.
    bool IsFresh() const { return m_bFresh; }
    // Sends QUIT without waiting long for the answer, then closes.
    void Quit();
    void Close();

private:
    SNntpResult Connect(SProbeResult* pProbe);
    SNntpResult StartTls(SProbeResult* pProbe);
    SNntpResult Authenticate();
    SNntpResult Send(std::string_view strLine);
    SNntpResult ReadReply(SNntpReplyLine& reply);
    SNntpResult ReadBlock(std::string& strData);
    SNntpResult Fill(); // reads more bytes into the buffer, within the read time limit
    SNntpResult Fail(ENntpStatus nStatus, std::string strText, int nCode = 0);
    std::string Where() const;

    SServerConfig m_config;
    int m_fd = -1;
    SSL_CTX* m_pCtx = nullptr;
    SSL* m_pSsl = nullptr;
    std::unique_ptr<char[]> m_pBuf;
    size_t m_nStart = 0;
    size_t m_nEnd = 0;
    bool m_bBroken = false;
    bool m_bFresh = true;
    bool m_bAuthed = false;
    CDotUnstuffer m_unstuffer;
};

} // namespace usenet
