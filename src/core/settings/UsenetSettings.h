#pragma once

#include <cstdint>
#include <string>

class CProfileFile;

// Section "Usenet" of Dravelin.ini: the news server that the in-process
// gateway serves the NewsGuy account's hosts from. The command line and the
// preferences page edit the same keys through this class:
//   Enabled      0/1, default 1: 0 switches the gateway off, the values stay
//   Server       host name, "" = no server (gateway off)
//   Port         default 563 with TLS on, 119 with it off
//   TLS          0/1, default 1 (implicit TLS, as providers serve it)
//   CAFile       a CA certificate file trusted besides the system's, ""
//   Username, Password   AUTHINFO credentials, "" = none
//   Connections  1 ... 50, default 8
// A plain value: whoever shares one between threads guards it.
class CUsenetSettings
{
public:
    static constexpr const char* kSection = "Usenet";
    static constexpr int32_t kPortTls = 563;
    static constexpr int32_t kPortPlain = 119;
    static constexpr int32_t kDefaultConnections = 8;
    static constexpr int32_t kMinConnections = 1;
    static constexpr int32_t kMaxConnections = 50;

    static int32_t DefaultPort(bool bTls) { return bTls ? kPortTls : kPortPlain; }

    // Reads the section; a missing key takes its default, a port or a
    // connection count out of range reads as the default (a damaged file
    // must never open thousands of connections).
    void Load(const CProfileFile& ini);
    // Reads the section from the file at strIniPath (defaults when absent).
    void Load(const std::string& strIniPath);
    // Whether the file holds any key of the section.
    static bool IsInFile(const CProfileFile& ini);
    // Sets every key of the section; other sections stay as they are.
    void Save(CProfileFile& ini) const;
    // One rewrite of the file at strIniPath (mode 0600, as every settings
    // write); false with pError when it cannot be read or written.
    bool Save(const std::string& strIniPath, std::string* pError = nullptr) const;

    // The gateway runs only when it is switched on and has a server.
    bool IsActive() const { return m_bEnabled != 0 && !m_strServer.empty(); }

    // "" when the values can be saved, else why not, as a sentence.
    std::string Validate() const;

    bool operator==(const CUsenetSettings&) const = default;

    int32_t m_bEnabled = 1;
    std::string m_strServer;
    int32_t m_nPort = kPortTls;
    int32_t m_bTls = 1;
    std::string m_strCAFile;
    std::string m_strUsername;
    std::string m_strPassword;
    int32_t m_nConnections = kDefaultConnections;
};
