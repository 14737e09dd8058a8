#pragma once

#include <memory>
#include <string>

class CGatewaySimulator;
class CNntpFace;

// "dravelin --demo": the gateway simulator runs inside the program on a free
// loopback port, and a demo data folder holds accounts for NewsGuy, NewsGuy
// Extra and EasyNews that point at it. The folder is prepared on first use;
// the hosts are rewritten at every start because the port changes. The
// simulator's NNTP face runs beside it and posts the same groups as numbered
// multipart yEnc (parts out of order, an incomplete file, a text post):
// section [Usenet] points at it, so the NewsGuy account lists and downloads
// through the Usenet gateway, whose header cache for it is kHeaderCache in
// the folder. The folder also holds an NZB of a demo group (kNzbFile).
class CDemoMode
{
public:
    static constexpr const char* kUser = "demo";
    static constexpr const char* kPassword = "demo";
    static constexpr const char* kNzbGroup = "alt.binaries.demo.nzb";
    static constexpr const char* kNzbFile = "alt.binaries.demo.nzb.nzb";
    static constexpr const char* kHeaderCache = "HeaderCache.sqlite";
    // The file of every group whose part 2 was never posted.
    static constexpr int kIncompleteFile = 7;

    CDemoMode();
    ~CDemoMode();
    CDemoMode(const CDemoMode&) = delete;
    CDemoMode& operator=(const CDemoMode&) = delete;

    // strDataDir: the folder to use, "" for $XDG_DATA_HOME/dravelin-demo.
    bool Start(const std::string& strDataDir, std::string* pError = nullptr);
    void Stop();

    const std::string& DataFolder() const { return m_strFolder; }
    std::string HostPort() const;
    CGatewaySimulator* Gateway() const { return m_pGateway.get(); }
    CNntpFace* Nntp() const { return m_pNntp.get(); }
    // The header cache of the NNTP face (an absolute path in the folder).
    std::string CacheFile() const;

    // Writes the demo settings into strFolder for a gateway at strHostPort:
    // everything on first use, the account hosts every time; with an NNTP
    // port also section [Usenet] and the NZB file.
    static bool PrepareFolder(const std::string& strFolder, const std::string& strHostPort,
                              std::string* pError = nullptr, int nNntpPort = 0, const std::string& strNzb = {});
    // $XDG_DATA_HOME/dravelin-demo, or ~/.local/share/dravelin-demo.
    static std::string DefaultFolder();

private:
    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::unique_ptr<CNntpFace> m_pNntp;
    std::string m_strFolder;
};
