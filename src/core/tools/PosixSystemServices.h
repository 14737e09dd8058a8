#pragma once

#include "tools/SystemServices.h"

// The system services that need no desktop session: starting programs
// (posix_spawn, no shell), opening files through xdg-open, the XDG folders
// and the mount table. The clipboard, dial-up and power-off answer "not
// available" here; the GUI overrides them with its own implementations.
class CPosixSystemServices : public ISystemServices
{
public:
    // strMountTable: the mount table to read ("/proc/self/mounts").
    explicit CPosixSystemServices(std::string strMountTable = "/proc/self/mounts");

    bool SetClipboardText(const std::string& strText) override;
    bool StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkingFolder) override;
    bool OpenFile(const std::string& strPath) override;

    bool HaveDialUp() override;
    bool EnumDialUpConnections(std::vector<std::string>& connections) override;
    bool IsDialUpConnectionActive(const std::string& strConnection) override;
    void HangUpDialUpConnection(const std::string& strConnection) override;

    bool PowerOff() override;

    std::string GetHomeFolder() override;
    std::string GetDataHome() override;
    std::string GetCacheHome() override;
    std::vector<std::string> GetMountPoints() override;
    uid_t GetUserId() override;

    // The mount points of a mount table's text (the second field of each
    // line, with the table's octal escapes such as "\040" decoded).
    static std::vector<std::string> ParseMountTable(const std::string& strTable);

private:
    std::string m_strMountTable;
};
