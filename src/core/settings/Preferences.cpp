#include "settings/Preferences.h"

#include "settings/ProfileFile.h"
#include "ui/Prompts.h"

#include <cstdlib>
#include <fstream>
#include <utility>

namespace
{
constexpr const char* kProduct = "Dravelin";
constexpr const char* kSection = "Preferences";
constexpr const char* kVersion = "2.0";
constexpr const char* kCompatibleBuild = "0328";
constexpr const char* kDefaultGetRightPath = "/usr/local/bin/getright";
constexpr const char* kVersionMessage = "The Dravelin.ini file is either incompatible or\n"
                                        "does not exist. Please, configure Dravelin first.";

std::string HomeFolder()
{
    const char* pszHome = std::getenv("HOME");
    return pszHome ? pszHome : "";
}

// XDG_DOWNLOAD_DIR of user-dirs.dirs: a double-quoted path, relative to
// $HOME when it starts with "$HOME".
std::string XdgDownloadFolder()
{
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    std::string strConfig =
        pszConfig && *pszConfig == '/' ? std::string(pszConfig) : HomeFolder() + "/.config";
    std::ifstream in(strConfig + "/user-dirs.dirs");
    std::string strLine;
    while (std::getline(in, strLine))
    {
        size_t nStart = strLine.find_first_not_of(" \t");
        if (nStart == std::string::npos || strLine.compare(nStart, 17, "XDG_DOWNLOAD_DIR=") != 0)
            continue;
        std::string strValue = strLine.substr(nStart + 17);
        if (strValue.size() < 2 || strValue.front() != '"')
            continue;
        size_t nClose = strValue.find('"', 1);
        if (nClose == std::string::npos)
            continue;
        strValue = strValue.substr(1, nClose - 1);
        if (strValue.rfind("$HOME", 0) == 0)
            strValue = HomeFolder() + strValue.substr(5);
        if (!strValue.empty() && strValue.front() == '/')
            return strValue;
    }
    return HomeFolder() + "/Downloads";
}
} // namespace

CPreferences::CPreferences(const CPreferences& other)
{
    *this = other;
}

CPreferences& CPreferences::operator=(const CPreferences& other)
{
    if (this == &other)
        return *this;
    std::scoped_lock lock(m_lock, other.m_lock);
    m_strGetRightPath = other.m_strGetRightPath;
    m_bLoadOriginalQueue = other.m_bLoadOriginalQueue;
    m_bCanEmptyRecycleBin = other.m_bCanEmptyRecycleBin;
    m_bUpdateArticleStatus = other.m_bUpdateArticleStatus;
    m_bRetryInfinite = other.m_bRetryInfinite;
    m_bComCtl5 = other.m_bComCtl5;
    m_bUseProxy = other.m_bUseProxy;
    m_nProxySetting = other.m_nProxySetting;
    m_strProxyAddress = other.m_strProxyAddress;
    m_nProxyPort = other.m_nProxyPort;
    m_bProxyAuthentication = other.m_bProxyAuthentication;
    m_strProxyUsername = other.m_strProxyUsername;
    m_strProxyPassword = other.m_strProxyPassword;
    m_strDefaultPath = other.m_strDefaultPath;
    m_nMaxRetries = other.m_nMaxRetries;
    m_nMaxDownloads = other.m_nMaxDownloads;
    m_bKeepFailed = other.m_bKeepFailed;
    m_bResumeFailed = other.m_bResumeFailed;
    m_bDeleteTempInet = other.m_bDeleteTempInet;
    m_bEmptyRecycleBin = other.m_bEmptyRecycleBin;
    m_bReplaceUnderscore = other.m_bReplaceUnderscore;
    m_bDoNotQueue = other.m_bDoNotQueue;
    m_nDownloadManager = other.m_nDownloadManager;
    m_bLoadQueue = other.m_bLoadQueue;
    m_bSaveQueue = other.m_bSaveQueue;
    return *this;
}

std::string CPreferences::FolderPath(std::string strFolder)
{
    // An empty download folder would be the file-system root; the user's
    // download folder is what was meant.
    if (strFolder.empty())
        strFolder = XdgDownloadFolder();
    if (strFolder.back() != '/')
        strFolder += '/';
    return strFolder;
}

bool CPreferences::Load(const std::string& strIniPath, IPrompts* pPrompts)
{
    // One parse for all keys; the values are those the key-at-a-time reads
    // would give.
    CProfileFile ini;
    ini.Read(strIniPath);

    bool bCompatible = true;
    if (ini.GetString(kProduct, "Version", "") == kVersion)
    {
        if (ini.GetString(kProduct, "CompatibleBuild", "") != kCompatibleBuild)
            bCompatible = false;
    }
    else
    {
        bCompatible = false;
    }

    m_strGetRightPath = ini.GetString(kSection, "GetRightPath", "");
    m_bLoadOriginalQueue = ini.GetInt(kSection, "LoadOriginalQueue", 1);
    m_bUpdateArticleStatus = ini.GetInt(kSection, "UpdateArticleStatus", 1);
    m_bRetryInfinite = ini.GetInt(kSection, "RetryInfinite", 0);
    m_bUseProxy = ini.GetInt(kSection, "UseProxy", 1);
    m_nProxySetting = ini.GetInt(kSection, "ProxySetting", 0);
    m_strProxyAddress = ini.GetString(kSection, "ProxyAddress", "");
    m_nProxyPort = ini.GetInt(kSection, "ProxyPort", 80);
    m_bProxyAuthentication = ini.GetInt(kSection, "ProxyAuthentication", 0);
    m_strProxyUsername = ini.GetString(kSection, "ProxyUsername", "");
    m_strProxyPassword = ini.GetString(kSection, "ProxyPassword", "");
    m_strDefaultPath = ini.GetString(kSection, "DefaultPath", "");
    m_nMaxRetries = ini.GetInt(kSection, "MaxRetries", 4);
    m_nMaxDownloads = ini.GetInt(kSection, "MaxDownloads", 2);
    m_bKeepFailed = ini.GetInt(kSection, "KeepFailed", 1);
    m_bResumeFailed = ini.GetInt(kSection, "ResumeFailed", 1);
    m_bDeleteTempInet = ini.GetInt(kSection, "DeleteTempInet", 1);
    m_bEmptyRecycleBin = ini.GetInt(kSection, "EmptyRecycleBin", 1);
    m_bReplaceUnderscore = ini.GetInt(kSection, "ReplaceUnderscore", 0);
    m_bDoNotQueue = ini.GetInt(kSection, "DoNotQueue", 0);
    m_nDownloadManager = ini.GetInt(kSection, "DownloadManager", 0);
    m_bLoadQueue = ini.GetInt(kSection, "LoadQueue", 1);
    m_bSaveQueue = ini.GetInt(kSection, "SaveQueue", 1);

    m_strDefaultPath = FolderPath(std::move(m_strDefaultPath));

    if (m_strGetRightPath.empty())
    {
        m_strGetRightPath = kDefaultGetRightPath;
        CProfileFile::WriteProfileString(kSection, "GetRightPath", m_strGetRightPath, strIniPath);
    }

    if (!bCompatible)
    {
        if (pPrompts)
            pPrompts->ShowMessage(kVersionMessage, PromptIcon::None);
        return false;
    }
    return true;
}

void CPreferences::Save(const std::string& strIniPath) const
{
    std::lock_guard lock(m_lock);
    // Every key of the save in one atomic rewrite; the resulting file is the
    // one the key-by-key writes would leave.
    CProfileFile ini;
    if (!ini.ReadForUpdate(strIniPath))
        return;
    ini.SetString(kProduct, "Version", kVersion);
    ini.SetString(kProduct, "CompatibleBuild", kCompatibleBuild);
    ini.SetInt(kSection, "UseProxy", m_bUseProxy);
    ini.SetInt(kSection, "ProxySetting", m_nProxySetting);
    ini.SetInt(kSection, "ProxyAuthentication", m_bProxyAuthentication);
    ini.SetInt(kSection, "ProxyPort", m_nProxyPort);
    ini.SetString(kSection, "ProxyAddress", m_strProxyAddress);
    ini.SetString(kSection, "ProxyUsername", m_strProxyUsername);
    ini.SetString(kSection, "ProxyPassword", m_strProxyPassword);
    ini.SetString(kSection, "DefaultPath", m_strDefaultPath);
    ini.SetInt(kSection, "MaxRetries", m_nMaxRetries);
    ini.SetInt(kSection, "RetryInfinite", m_bRetryInfinite);
    ini.SetInt(kSection, "MaxDownloads", m_nMaxDownloads);
    ini.SetInt(kSection, "KeepFailed", m_bKeepFailed);
    ini.SetInt(kSection, "ResumeFailed", m_bResumeFailed);
    ini.SetInt(kSection, "DeleteTempInet", m_bDeleteTempInet);
    ini.SetInt(kSection, "EmptyRecycleBin", m_bEmptyRecycleBin);
    ini.SetInt(kSection, "UpdateArticleStatus", m_bUpdateArticleStatus);
    ini.SetInt(kSection, "ReplaceUnderscore", m_bReplaceUnderscore);
    ini.SetInt(kSection, "DoNotQueue", m_bDoNotQueue);
    ini.SetInt(kSection, "DownloadManager", m_nDownloadManager);
    ini.SetInt(kSection, "SaveQueue", m_bSaveQueue);
    ini.SetInt(kSection, "LoadQueue", m_bLoadQueue);
    ini.SetInt(kSection, "LoadOriginalQueue", m_bLoadOriginalQueue);
    ini.Write(strIniPath);
}
