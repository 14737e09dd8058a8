#include "settings/Preferences.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::FakePrompts;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace
{
// A settings file in a test folder that is also HOME, without XDG_CONFIG_HOME,
// for the download-folder lookup.
class PreferencesTest : public ::testing::Test
{
protected:
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_home{"HOME", m_dir.Path().c_str()};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", nullptr};
    const std::string m_strPath = m_dir.File("Dravelin.ini");
    FakePrompts m_prompts;
    CPreferences m_prefs;
};
} // namespace

TEST_F(PreferencesTest, MissingFileGivesTheMessageAndWritesTheGetRightPath)
{
    EXPECT_FALSE(m_prefs.Load(m_strPath, &m_prompts));
    EXPECT_EQ(m_prompts.m_messages,
              std::vector<std::string>{"The Dravelin.ini file is either incompatible or\n"
                                       "does not exist. Please, configure Dravelin first."});
    EXPECT_EQ(m_prefs.m_strDefaultPath, m_dir.Path().string() + "/Downloads/");
    EXPECT_EQ(ReadFile(m_strPath), "[Preferences]\nGetRightPath=/usr/local/bin/getright\n");
}

TEST_F(PreferencesTest, VersionCheck)
{
    using C = std::pair<const char*, bool>;
    for (const auto& [pszFile, bCompatible] :
         {C{"[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n", true},
          C{"[DRAVELIN]\nversion=2.0\ncompatiblebuild=0328\n", true},
          C{"[Dravelin]\nVersion=2.00\nCompatibleBuild=0328\n", false},
          C{"[Dravelin]\nVersion=2.0\nCompatibleBuild=328\n", false}, C{"[Dravelin]\nVersion=2.0\n", false},
          C{"[Dravelin]\nCompatibleBuild=0328\n", false}, C{"", false}})
    {
        WriteFile(m_strPath, pszFile);
        FakePrompts prompts;
        EXPECT_EQ(CPreferences().Load(m_strPath, &prompts), bCompatible) << pszFile;
        EXPECT_EQ(prompts.m_messages.size(), bCompatible ? 0u : 1u) << pszFile;
    }
}

TEST_F(PreferencesTest, DefaultPathRules)
{
    // Empty: the XDG download folder of user-dirs.dirs.
    std::filesystem::create_directories(m_dir.Path() / ".config");
    WriteFile((m_dir.Path() / ".config/user-dirs.dirs").string(),
              "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    const std::pair<const char*, std::string> cases[] = {
        {"/srv/news", "/srv/news/"}, {"/srv/news/", "/srv/news/"}, {"", m_dir.Path().string() + "/Fetched/"}};
    for (const auto& [pszStored, strPath] : cases)
    {
        CProfileFile::WriteProfileString("Preferences", "DefaultPath", pszStored, m_strPath);
        m_prefs.Load(m_strPath, nullptr);
        EXPECT_EQ(m_prefs.m_strDefaultPath, strPath);
    }
}

TEST_F(PreferencesTest, ValuesAreReadFromTheFile)
{
    WriteFile(m_strPath,
              "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n[Preferences]\nGetRightPath=/opt/gr\n"
              "UseProxy=0\nProxySetting=1\nProxyAddress=px\nProxyPort=3128\nProxyAuthentication=1\n"
              "ProxyUsername=pu\nProxyPassword=pp\nMaxRetries=0\nMaxDownloads=5\nRetryInfinite=1\n"
              "DownloadManager=4\nLoadQueue=0\nSaveQueue=0\nLoadOriginalQueue=0\n");
    std::string strBefore = ReadFile(m_strPath);
    EXPECT_TRUE(m_prefs.Load(m_strPath, nullptr));
    // The copy (made field by field) gives the same values.
    for (const CPreferences& p : {m_prefs, CPreferences(m_prefs)})
    {
        EXPECT_EQ(p.m_strGetRightPath + "|" + p.m_strProxyAddress + "|" + p.m_strProxyUsername + "|" +
                      p.m_strProxyPassword,
                  "/opt/gr|px|pu|pp");
        EXPECT_EQ((std::vector<int32_t>{p.m_bUseProxy, p.m_nProxySetting, p.m_nProxyPort,
                                        p.m_bProxyAuthentication, p.m_nMaxRetries, p.m_nMaxDownloads,
                                        p.m_bRetryInfinite, p.m_nDownloadManager, p.m_bLoadQueue,
                                        p.m_bSaveQueue, p.m_bLoadOriginalQueue}),
                  (std::vector<int32_t>{0, 1, 3128, 1, 0, 5, 1, 4, 0, 0, 0}));
    }
    EXPECT_EQ(ReadFile(m_strPath), strBefore) << "a set GetRightPath is not written back";
}

TEST_F(PreferencesTest, SaveWritesVersionAndTheDialogKeysInOrder)
{
    WriteFile(m_strPath, "[Preferences]\nGetRightPath=/opt/gr\nBytesToday=5\n");
    m_prefs.m_strGetRightPath = "/changed";
    m_prefs.m_strDefaultPath = "/dl/";
    m_prefs.m_nMaxDownloads = 3;
    m_prefs.Save(m_strPath);
    EXPECT_EQ(
        ReadFile(m_strPath),
        "[Preferences]\nGetRightPath=/opt/gr\nBytesToday=5\nUseProxy=1\nProxySetting=0\n"
        "ProxyAuthentication=0\nProxyPort=80\nProxyAddress=\nProxyUsername=\nProxyPassword=\n"
        "DefaultPath=/dl/\nMaxRetries=4\nRetryInfinite=0\nMaxDownloads=3\nKeepFailed=1\nResumeFailed=1\n"
        "DeleteTempInet=1\nEmptyRecycleBin=1\nUpdateArticleStatus=1\nReplaceUnderscore=0\nDoNotQueue=0\n"
        "DownloadManager=0\nSaveQueue=1\nLoadQueue=1\nLoadOriginalQueue=1\n\n"
        "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n");
    CPreferences loaded;
    EXPECT_TRUE(loaded.Load(m_strPath, &m_prompts));
    EXPECT_TRUE(m_prompts.m_messages.empty());
    EXPECT_EQ(loaded.m_nMaxDownloads, 3);
}
