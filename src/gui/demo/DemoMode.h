#pragma once

#include <memory>
#include <string>

class CGatewaySimulator;
class CNntpFace;

// "dravelin --demo": the gateway simulator runs inside the program on a free
// loopback port, and a demo data folder holds accounts for NewsGuy, NewsGuy
// Extra and EasyNews that point at it. The folder is prepared on first use;
// the hosts are rewritten at every start because the port changes. The
// simulator's NNTP face runs beside it: section [Usenet] points at it, and
// the folder holds an NZB of a demo group (kNzbFile) to import.
class CDemoMode
{
public:
    static constexpr const char* kUser = "demo";
    static constexpr const char* kPassword = "demo";
    static constexpr const char* kNzbGroup = "alt.binaries.demo.nzb";
    static constexpr const char* kNzbFile = "alt.binaries.demo.nzb.nzb";

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
