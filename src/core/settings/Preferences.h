#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class IPrompts;

// Every setting of section "Preferences" in memory. Shared with the workers,
// which read proxy, path and retry settings under m_lock.
class CPreferences
{
public:
    CPreferences() = default;
    virtual ~CPreferences() = default;
    // Copies the values, never the lock.
    CPreferences(const CPreferences& other);
    CPreferences& operator=(const CPreferences& other);

    // Reads the version keys and section "Preferences" of strIniPath with the
    // version check; an incompatible or missing file shows the version message
    // through pPrompts (may be null) and returns false. The values stay in use.
    bool Load(const std::string& strIniPath, IPrompts* pPrompts);
    // Writes "Version", "CompatibleBuild" and the 22 keys of the dialog.
    void Save(const std::string& strIniPath) const;

    // A download folder as it is kept in memory: ending in "/"; an empty one
    // is the user's download folder.
    static std::string FolderPath(std::string strFolder);

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    std::string m_strGetRightPath;
    int32_t m_bLoadOriginalQueue = 1;
    int32_t m_bCanEmptyRecycleBin = 0;
    int32_t m_bUpdateArticleStatus = 1;
    int32_t m_bRetryInfinite = 0;
    int32_t m_bComCtl5 = 1; // this platform counts as common controls 5 or later
    mutable std::recursive_mutex m_lock;
    int32_t m_bUseProxy = 1;
    int32_t m_nProxySetting = 0;
    std::string m_strProxyAddress;
    int32_t m_nProxyPort = 80;
    int32_t m_bProxyAuthentication = 0;
    std::string m_strProxyUsername;
    std::string m_strProxyPassword;
    std::string m_strDefaultPath;
    int32_t m_nMaxRetries = 4;
    int32_t m_nMaxDownloads = 2;
    int32_t m_bKeepFailed = 1;
    int32_t m_bResumeFailed = 1;
    int32_t m_bDeleteTempInet = 1;
    int32_t m_bEmptyRecycleBin = 1;
    int32_t m_bReplaceUnderscore = 0;
    int32_t m_bDoNotQueue = 0;
    int32_t m_nDownloadManager = 0;
    int32_t m_bLoadQueue = 1;
    int32_t m_bSaveQueue = 1;
};
