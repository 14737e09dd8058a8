#include "tools/PosixSystemServices.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace
{
// An XDG variable counts only when it holds an absolute path; otherwise the
// default under the home folder applies.
std::string XdgFolder(const char* pszVariable, const std::string& strHome, const char* pszDefault)
{
    const char* pszValue = std::getenv(pszVariable);
    if (pszValue && pszValue[0] == '/')
        return pszValue;
    if (strHome.empty())
        return {};
    return strHome + pszDefault;
}

std::string DecodeMountField(const std::string& strField)
{
    std::string strOut;
    strOut.reserve(strField.size());
    for (size_t i = 0; i < strField.size(); ++i)
    {
        if (strField[i] == '\\' && i + 3 < strField.size() && strField[i + 1] >= '0' &&
            strField[i + 1] <= '3' && strField[i + 2] >= '0' && strField[i + 2] <= '7' &&
            strField[i + 3] >= '0' && strField[i + 3] <= '7')
        {
            strOut += static_cast<char>(((strField[i + 1] - '0') << 6) | ((strField[i + 2] - '0') << 3) |
                                        (strField[i + 3] - '0'));
            i += 3;
        }
        else
        {
            strOut += strField[i];
        }
    }
    return strOut;
}

// Waits for the child in the background so it never lingers as a zombie;
// the caller does not wait for the program.
void ReapLater(pid_t pid)
{
    try
    {
        std::thread(
            [pid]
            {
                int nStatus = 0;
                while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR)
                {
                }
            })
            .detach();
    }
    catch (const std::system_error&)
    {
        // Without a thread the child is reaped when we end.
    }
}
} // namespace

CPosixSystemServices::CPosixSystemServices(std::string strMountTable)
    : m_strMountTable(std::move(strMountTable))
{
}

bool CPosixSystemServices::SetClipboardText(const std::string&)
{
    return false; // the clipboard belongs to the desktop session
}

bool CPosixSystemServices::StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                                        const std::string& strWorkingFolder)
{
    if (strProgram.empty())
        return false;
    std::vector<std::string> argStrings;
    argStrings.reserve(args.size() + 1);
    argStrings.push_back(strProgram);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& str : argStrings)
        argv.push_back(str.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    if (posix_spawnattr_init(&attr) != 0)
    {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    bool bReady = true;
    if (!strWorkingFolder.empty())
        bReady = posix_spawn_file_actions_addchdir_np(&actions, strWorkingFolder.c_str()) == 0;
    // The program gets none of our files beyond the standard three.
    if (bReady)
        bReady = posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
    // Nor our blocked or ignored signals.
    sigset_t emptyMask;
    sigset_t defaultSignals;
    sigemptyset(&emptyMask);
    sigemptyset(&defaultSignals);
    for (int nSignal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGQUIT})
        sigaddset(&defaultSignals, nSignal);
    if (bReady)
        bReady = posix_spawnattr_setsigmask(&attr, &emptyMask) == 0 &&
                 posix_spawnattr_setsigdefault(&attr, &defaultSignals) == 0 &&
                 posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    pid_t pid = -1;
    bool bStarted = bReady && posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (!bStarted)
        return false;
    ReapLater(pid);
    return true;
}

bool CPosixSystemServices::OpenFile(const std::string& strPath)
{
    if (strPath.empty())
        return false;
    // A relative name that begins with '-' must not read as an option.
    std::string strArg = strPath[0] == '-' ? "./" + strPath : strPath;
    return StartProgram("xdg-open", {strArg}, "");
}

bool CPosixSystemServices::HaveDialUp()
{
    return false;
}

bool CPosixSystemServices::EnumDialUpConnections(std::vector<std::string>& connections)
{
    connections.clear();
    return false;
}

bool CPosixSystemServices::IsDialUpConnectionActive(const std::string&)
{
    return false;
}

void CPosixSystemServices::HangUpDialUpConnection(const std::string&) {}

bool CPosixSystemServices::PowerOff()
{
    return false; // only the session's login manager may do this
}

std::string CPosixSystemServices::GetHomeFolder()
{
    const char* pszHome = std::getenv("HOME");
    if (pszHome && pszHome[0] == '/')
        return pszHome;
    long nSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(nSize > 0 ? static_cast<size_t>(nSize) : 16384);
    passwd pw{};
    passwd* pResult = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &pResult) == 0 && pResult && pw.pw_dir &&
        pw.pw_dir[0] == '/')
        return pw.pw_dir;
    return {};
}

std::string CPosixSystemServices::GetDataHome()
{
    return XdgFolder("XDG_DATA_HOME", GetHomeFolder(), "/.local/share");
}

std::string CPosixSystemServices::GetCacheHome()
{
    return XdgFolder("XDG_CACHE_HOME", GetHomeFolder(), "/.cache");
}

std::vector<std::string> CPosixSystemServices::GetMountPoints()
{
    std::ifstream file(m_strMountTable, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return ParseMountTable(text.str());
}

uid_t CPosixSystemServices::GetUserId()
{
    return getuid();
}

std::vector<std::string> CPosixSystemServices::ParseMountTable(const std::string& strTable)
{
    std::vector<std::string> mountPoints;
    std::istringstream lines(strTable);
    std::string strLine;
    while (std::getline(lines, strLine))
    {
        std::istringstream fields(strLine);
        std::string strDevice;
        std::string strMountPoint;
        if (!(fields >> strDevice >> strMountPoint))
            continue;
        std::string strPath = DecodeMountField(strMountPoint);
        if (strPath.empty() || strPath[0] != '/')
            continue;
        bool bSeen = false;
        for (const auto& str : mountPoints)
            bSeen = bSeen || str == strPath;
        if (!bSeen)
            mountPoints.push_back(strPath);
    }
    return mountPoints;
}
