#include "settings/DataFolder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using testsupport::TempDir;

namespace
{
class EnvScope
{
public:
    EnvScope(const char* pszName, const char* pszValue) : m_strName(pszName)
    {
        const char* pszOld = std::getenv(pszName);
        m_bHad = pszOld != nullptr;
        m_strOld = pszOld ? pszOld : "";
        if (pszValue)
            ::setenv(pszName, pszValue, 1);
        else
            ::unsetenv(pszName);
    }
    ~EnvScope()
    {
        if (m_bHad)
            ::setenv(m_strName.c_str(), m_strOld.c_str(), 1);
        else
            ::unsetenv(m_strName.c_str());
    }

private:
    std::string m_strName, m_strOld;
    bool m_bHad = false;
};
} // namespace

TEST(DataFolderTest, PathsAreJoinedWithSlash)
{
    CDataFolder folder("/data");
    EXPECT_EQ(folder.GetIniPath(), "/data/Dravelin.ini");
    EXPECT_EQ(folder.GetQueuePath(), "/data/Dravelin.dvq");
    EXPECT_EQ(folder.GetAuthorKillPath(), "/data/Author.kill");
    EXPECT_EQ(folder.GetSubjectKillPath(), "/data/Subject.kill");
    EXPECT_EQ(folder.GetGetRightListPath(), "/data/GetRight.lst");
    EXPECT_EQ(CDataFolder("/data/").GetIniPath(), "/data/Dravelin.ini");
}

TEST(DataFolderTest, OverridesWinAndAreCreated)
{
    TempDir dir;
    std::string strEnvDir = (dir.Path() / "env/home").string();
    std::string strOptionDir = (dir.Path() / "option").string();
    EnvScope env("DRAVELIN_HOME", strEnvDir.c_str());

    CDataFolder fromEnv;
    ASSERT_TRUE(fromEnv.Resolve(""));
    EXPECT_EQ(fromEnv.GetPath(), strEnvDir);
    EXPECT_TRUE(std::filesystem::is_directory(strEnvDir));

    CDataFolder fromOption;
    ASSERT_TRUE(fromOption.Resolve(strOptionDir));
    EXPECT_EQ(fromOption.GetPath(), strOptionDir);
    EXPECT_TRUE(std::filesystem::is_directory(strOptionDir));

    // A file where the folder should be is refused.
    std::string strFile = (dir.Path() / "file").string();
    testsupport::WriteFile(strFile, "x");
    std::string strError;
    CDataFolder bad;
    EXPECT_FALSE(bad.Resolve(strFile, &strError));
    EXPECT_FALSE(strError.empty());
}

TEST(DataFolderTest, ProgramFolderWithoutOverride)
{
    EnvScope env("DRAVELIN_HOME", nullptr);
    CDataFolder folder;
    ASSERT_TRUE(folder.Resolve(""));
    // The test binary's folder is writable here, so it is the data folder.
    EXPECT_EQ(folder.GetPath(), CDataFolder::GetProgramFolder());
    EXPECT_FALSE(folder.GetPath().empty());
}

TEST(DataFolderTest, ConfigFolderFollowsXdg)
{
    EnvScope config("XDG_CONFIG_HOME", "/xdg/conf");
    EXPECT_EQ(CDataFolder::GetConfigFolder(), "/xdg/conf/dravelin");
    EnvScope relative("XDG_CONFIG_HOME", "relative");
    EnvScope home("HOME", "/home/someone");
    EXPECT_EQ(CDataFolder::GetConfigFolder(), "/home/someone/.config/dravelin");
}

TEST(DataFolderTest, DataDirOptionIsTakenOut)
{
    struct Case
    {
        std::vector<std::string> args;
        bool bOk;
        std::string strDir;
        std::vector<std::string> rest;
    };
    const Case cases[] = {
        {{"--data-dir", "/d", "settings"}, true, "/d", {"settings"}},
        {{"--data-dir=/e", "queue", "--all"}, true, "/e", {"queue", "--all"}},
        {{"settings"}, true, "", {"settings"}},
        {{"--data-dir"}, false, "", {"--data-dir"}},
        {{"--data-dir="}, false, "", {}},
    };
    for (const auto& c : cases)
    {
        auto args = c.args;
        std::string strDir = "unset";
        EXPECT_EQ(CDataFolder::TakeDataDirOption(args, strDir), c.bOk);
        if (c.bOk)
        {
            EXPECT_EQ(strDir, c.strDir);
            EXPECT_EQ(args, c.rest);
        }
    }
}
