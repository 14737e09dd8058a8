#include "settings/DataFolder.h"

#include "model/AtomicFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace
{
bool MakeFolder(const std::string& strPath, std::string* pError)
{
    std::error_code ec;
    std::filesystem::create_directories(strPath, ec);
    if (std::filesystem::is_directory(strPath, ec))
        return true;
    if (pError)
        *pError = "cannot create the data folder " + strPath;
    return false;
}

// An installed program (its documents folder beside its own, as the install
// lays them out) keeps its folder read-only, however it is mounted.
bool IsInstalledProgramFolder(const std::string& strProgram)
{
#ifdef DRAVELIN_DOCS_FROM_BINDIR
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(strProgram) / DRAVELIN_DOCS_FROM_BINDIR, ec);
#else
    (void)strProgram;
    return false;
#endif
}

std::string HomeFolder()
{
    const char* pszHome = std::getenv("HOME");
    return pszHome && *pszHome ? pszHome : "/tmp";
}
} // namespace

std::string CDataFolder::GetFilePath(const std::string& strName) const
{
    if (!m_strPath.empty() && m_strPath.back() == '/')
        return m_strPath + strName;
    return m_strPath + "/" + strName;
}

std::string CDataFolder::GetProgramFolder()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

std::string CDataFolder::GetConfigFolder()
{
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (pszConfig && *pszConfig == '/')
        return std::string(pszConfig) + "/dravelin";
    return HomeFolder() + "/.config/dravelin";
}

bool CDataFolder::Resolve(const std::string& strOverride, std::string* pError)
{
    if (!Choose(strOverride, pError))
        return false;
    // A save that was killed half way left its temporary file behind.
    for (const std::string& strFile : {GetIniPath(), GetQueuePath(), GetAuthorKillPath(), GetSubjectKillPath(),
                                       GetGetRightListPath()})
        CAtomicFile::RemoveLeftovers(strFile);
    return true;
}

bool CDataFolder::Choose(const std::string& strOverride, std::string* pError)
{
    std::string strDir = strOverride;
    if (strDir.empty())
    {
        const char* pszHome = std::getenv("DRAVELIN_HOME");
        if (pszHome && *pszHome)
            strDir = pszHome;
    }
    if (!strDir.empty())
    {
        if (!MakeFolder(strDir, pError))
            return false;
        m_strPath = strDir;
        return true;
    }
    std::string strProgram = GetProgramFolder();
    if (!strProgram.empty() && ::access(strProgram.c_str(), W_OK | X_OK) == 0 &&
        !IsInstalledProgramFolder(strProgram))
    {
        m_strPath = strProgram;
        return true;
    }
    strDir = GetConfigFolder();
    if (!MakeFolder(strDir, pError))
        return false;
    m_strPath = strDir;
    return true;
}

bool CDataFolder::TakeDataDirOption(std::vector<std::string>& args, std::string& strDir)
{
    static const std::string kOption = "--data-dir";
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == kOption)
        {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return false;
            strDir = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return true;
        }
        if (args[i].rfind(kOption + "=", 0) == 0)
        {
            strDir = args[i].substr(kOption.size() + 1);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return !strDir.empty();
        }
    }
    strDir.clear();
    return true;
}
