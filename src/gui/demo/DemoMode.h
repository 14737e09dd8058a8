#pragma once

#include <memory>
#include <string>

class CGatewaySimulator;

// "dravelin --demo": the gateway simulator runs inside the program on a free
// loopback port, and a demo data folder holds accounts for NewsGuy, NewsGuy
// Extra and EasyNews that point at it. The folder is prepared on first use;
// the hosts are rewritten at every start because the port changes.
class CDemoMode
{
public:
    static constexpr const char* kUser = "demo";
    static constexpr const char* kPassword = "demo";

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

    // Writes the demo settings into strFolder for a gateway at strHostPort:
    // everything on first use, the account hosts every time.
    static bool PrepareFolder(const std::string& strFolder, const std::string& strHostPort,
                              std::string* pError = nullptr);
    // $XDG_DATA_HOME/dravelin-demo, or ~/.local/share/dravelin-demo.
    static std::string DefaultFolder();

private:
    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::string m_strFolder;
};
