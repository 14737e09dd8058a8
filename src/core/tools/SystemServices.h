#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// What the export and the end-of-queue tools ask of the desktop and the
// operating system. The core's CPosixSystemServices does what needs no
// desktop session; the GUI supplies the clipboard, the dial-up connections
// and the power-off (QClipboard, D-Bus). Tests use a fake so they never reach
// the machine's real clipboard, connections, power-off or trash.
class ISystemServices
{
public:
    virtual ~ISystemServices() = default;

    // Replaces the clipboard's text. False when the clipboard cannot be had.
    virtual bool SetClipboardText(const std::string& strText) = 0;

    // Starts strProgram with the given arguments (argv[1]...) in
    // strWorkingFolder ("" keeps ours), without a shell and without waiting
    // for it. A program without a '/' is looked up in PATH. False when it
    // could not be started.
    virtual bool StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                              const std::string& strWorkingFolder) = 0;
    // Opens a file with the desktop's default application.
    virtual bool OpenFile(const std::string& strPath) = 0;

    // Dial-up connections (modem, mobile broadband). HaveDialUp tells whether
    // the system can list them at all; the connection ids are opaque.
    virtual bool HaveDialUp() = 0;
    // The active connections; false when they cannot be listed.
    virtual bool EnumDialUpConnections(std::vector<std::string>& connections) = 0;
    // False once the connection has ended (or is unknown).
    virtual bool IsDialUpConnectionActive(const std::string& strConnection) = 0;
    // Asks the connection to drop; it ends some time later.
    virtual void HangUpDialUpConnection(const std::string& strConnection) = 0;

    // Asks the system to shut down and switch the power off, without forcing
    // other programs to close. False when the request was refused.
    virtual bool PowerOff() = 0;

    // The user's folders: home, $XDG_DATA_HOME (the home trash is its
    // "Trash") and $XDG_CACHE_HOME, each with the XDG defaults applied.
    virtual std::string GetHomeFolder() = 0;
    virtual std::string GetDataHome() = 0;
    virtual std::string GetCacheHome() = 0;
    // Mount points of the mounted volumes (each may hold a trash at its root).
    virtual std::vector<std::string> GetMountPoints() = 0;
    virtual uid_t GetUserId() = 0;
};
