#include "settings/Preferences.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using testsupport::FakePrompts;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
const char* kVersionMessage =
    "The Dravelin.ini file is either incompatible or\ndoes not exist. Please, configure "
    "Dravelin first.";

// Points HOME and XDG_CONFIG_HOME into a test folder for the download-folder
// lookup, and restores them.
class HomeScope
{
public:
    explicit HomeScope(const std::string& strHome)
    {
        Save("HOME", m_strHome, m_bHadHome);
        Save("XDG_CONFIG_HOME", m_strConfig, m_bHadConfig);
        ::setenv("HOME", strHome.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ~HomeScope()
    {
        Restore("HOME", m_strHome, m_bHadHome);
        Restore("XDG_CONFIG_HOME", m_strConfig, m_bHadConfig);
    }

private:
    static void Save(const char* pszName, std::string& str, bool& bHad)
    {
        const char* psz = std::getenv(pszName);
        bHad = psz != nullptr;
        str = psz ? psz : "";
    }
    static void Restore(const char* pszName, const std::string& str, bool bHad)
    {
        if (bHad)
            ::setenv(pszName, str.c_str(), 1);
        else
            ::unsetenv(pszName);
    }
    std::string m_strHome, m_strConfig;
    bool m_bHadHome = false, m_bHadConfig = false;
};
} // namespace

TEST(PreferencesTest, MissingFileGivesDefaultsMessageAndGetRightPath)
{
    TempDir dir;
    HomeScope home(dir.Path().string());
    std::string strPath = dir.File("Dravelin.ini");
    FakePrompts prompts;
    CPreferences prefs;
    EXPECT_FALSE(prefs.Load(strPath, &prompts));
    ASSERT_EQ(prompts.m_messages.size(), 1u);
    EXPECT_EQ(prompts.m_messages[0], kVersionMessage);

    EXPECT_EQ(prefs.m_bUseProxy, 1);
    EXPECT_EQ(prefs.m_nProxySetting, 0);
    EXPECT_EQ(prefs.m_nProxyPort, 80);
    EXPECT_EQ(prefs.m_nMaxRetries, 4);
    EXPECT_EQ(prefs.m_nMaxDownloads, 2);
    EXPECT_EQ(prefs.m_bKeepFailed, 1);
    EXPECT_EQ(prefs.m_bResumeFailed, 1);
    EXPECT_EQ(prefs.m_bReplaceUnderscore, 0);
    EXPECT_EQ(prefs.m_bLoadOriginalQueue, 1);
    EXPECT_EQ(prefs.m_strDefaultPath, dir.Path().string() + "/Downloads/");
    EXPECT_EQ(prefs.m_strGetRightPath, "/usr/local/bin/getright");
    EXPECT_EQ(ReadFile(strPath), "[Preferences]\nGetRightPath=/usr/local/bin/getright\n");
}

TEST(PreferencesTest, VersionCheck)
{
    struct Case
    {
        const char* pszFile;
        bool bCompatible;
    };
    const Case cases[] = {
        {"[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n", true},
        {"[DRAVELIN]\nversion=2.0\ncompatiblebuild=0328\n", true},
        {"[Dravelin]\nVersion=2.00\nCompatibleBuild=0328\n", false},
        {"[Dravelin]\nVersion=2.0\nCompatibleBuild=328\n", false},
        {"[Dravelin]\nVersion=2.0\n", false},
        {"[Dravelin]\nCompatibleBuild=0328\n", false},
        {"", false},
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        HomeScope home(dir.Path().string());
        std::string strPath = dir.File("Dravelin.ini");
        WriteFile(strPath, c.pszFile);
        FakePrompts prompts;
        CPreferences prefs;
        EXPECT_EQ(prefs.Load(strPath, &prompts), c.bCompatible) << c.pszFile;
        EXPECT_EQ(prompts.m_messages.size(), c.bCompatible ? 0u : 1u) << c.pszFile;
    }
}

TEST(PreferencesTest, DefaultPathRules)
{
    TempDir dir;
    HomeScope home(dir.Path().string());
    std::string strPath = dir.File("Dravelin.ini");
    CPreferences prefs;

    CProfileFile::WriteProfileString("Preferences", "DefaultPath", "/srv/news", strPath);
    prefs.Load(strPath, nullptr);
    EXPECT_EQ(prefs.m_strDefaultPath, "/srv/news/");

    CProfileFile::WriteProfileString("Preferences", "DefaultPath", "/srv/news/", strPath);
    prefs.Load(strPath, nullptr);
    EXPECT_EQ(prefs.m_strDefaultPath, "/srv/news/");

    // Empty: the XDG download folder of user-dirs.dirs.
    std::filesystem::create_directories(dir.Path() / ".config");
    WriteFile((dir.Path() / ".config/user-dirs.dirs").string(),
              "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    CProfileFile::WriteProfileString("Preferences", "DefaultPath", "", strPath);
    prefs.Load(strPath, nullptr);
    EXPECT_EQ(prefs.m_strDefaultPath, dir.Path().string() + "/Fetched/");
}

TEST(PreferencesTest, ValuesAreReadFromTheFile)
{
    TempDir dir;
    HomeScope home(dir.Path().string());
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n[Preferences]\nGetRightPath=/opt/gr\n"
                       "UseProxy=0\nProxySetting=1\nProxyAddress=px\nProxyPort=3128\nProxyAuthentication=1\n"
                       "ProxyUsername=pu\nProxyPassword=pp\nMaxRetries=0\nMaxDownloads=5\nRetryInfinite=1\n"
                       "DownloadManager=4\nLoadQueue=0\nSaveQueue=0\nLoadOriginalQueue=0\n");
    std::string strBefore = ReadFile(strPath);
    CPreferences prefs;
    EXPECT_TRUE(prefs.Load(strPath, nullptr));
    EXPECT_EQ(prefs.m_strGetRightPath, "/opt/gr");
    EXPECT_EQ(prefs.m_bUseProxy, 0);
    EXPECT_EQ(prefs.m_nProxySetting, 1);
    EXPECT_EQ(prefs.m_strProxyAddress, "px");
    EXPECT_EQ(prefs.m_nProxyPort, 3128);
    EXPECT_EQ(prefs.m_bProxyAuthentication, 1);
    EXPECT_EQ(prefs.m_strProxyUsername, "pu");
    EXPECT_EQ(prefs.m_strProxyPassword, "pp");
    EXPECT_EQ(prefs.m_nMaxRetries, 0);
    EXPECT_EQ(prefs.m_nMaxDownloads, 5);
    EXPECT_EQ(prefs.m_bRetryInfinite, 1);
    EXPECT_EQ(prefs.m_nDownloadManager, 4);
    EXPECT_EQ(prefs.m_bLoadQueue, 0);
    EXPECT_EQ(prefs.m_bSaveQueue, 0);
    EXPECT_EQ(prefs.m_bLoadOriginalQueue, 0);
    EXPECT_EQ(ReadFile(strPath), strBefore) << "a set GetRightPath is not written back";

    CPreferences copy(prefs);
    EXPECT_EQ(copy.m_strProxyPassword, "pp");
    EXPECT_EQ(copy.m_nMaxDownloads, 5);
    CPreferences assigned;
    assigned = prefs;
    EXPECT_EQ(assigned.m_strGetRightPath, "/opt/gr");
}

TEST(PreferencesTest, SaveWritesVersionAndTheDialogKeysInOrder)
{
    TempDir dir;
    HomeScope home(dir.Path().string());
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Preferences]\nGetRightPath=/opt/gr\nBytesToday=5\n");
    CPreferences prefs;
    prefs.m_strGetRightPath = "/changed";
    prefs.m_strDefaultPath = "/dl/";
    prefs.m_nMaxDownloads = 3;
    prefs.Save(strPath);
    EXPECT_EQ(
        ReadFile(strPath),
        "[Preferences]\nGetRightPath=/opt/gr\nBytesToday=5\nUseProxy=1\nProxySetting=0\n"
        "ProxyAuthentication=0\nProxyPort=80\nProxyAddress=\nProxyUsername=\nProxyPassword=\n"
        "DefaultPath=/dl/\nMaxRetries=4\nRetryInfinite=0\nMaxDownloads=3\nKeepFailed=1\nResumeFailed=1\n"
        "DeleteTempInet=1\nEmptyRecycleBin=1\nUpdateArticleStatus=1\nReplaceUnderscore=0\nDoNotQueue=0\n"
        "DownloadManager=0\nSaveQueue=1\nLoadQueue=1\nLoadOriginalQueue=1\n\n"
        "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n");
    FakePrompts prompts;
    CPreferences loaded;
    EXPECT_TRUE(loaded.Load(strPath, &prompts));
    EXPECT_TRUE(prompts.m_messages.empty());
    EXPECT_EQ(loaded.m_nMaxDownloads, 3);
}
