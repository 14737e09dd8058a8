#include "settings/DataFolder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::ScopedEnv;

TEST(DataFolderTest, PathsAreJoinedWithSlash)
{
    CDataFolder folder("/data");
    EXPECT_EQ(
        folder.GetIniPath() + " " + folder.GetQueuePath() + " " + folder.GetAuthorKillPath() + " " +
            folder.GetSubjectKillPath() + " " + folder.GetGetRightListPath(),
        "/data/Dravelin.ini /data/Dravelin.dvq /data/Author.kill /data/Subject.kill /data/GetRight.lst");
    EXPECT_EQ(CDataFolder("/data/").GetIniPath(), "/data/Dravelin.ini");
}

// The option wins over DRAVELIN_HOME, which wins over the program's folder;
// the folder is created; a file in its place is refused.
TEST(DataFolderTest, OverridesWinAndAreCreated)
{
    testsupport::TempDir dir;
    const std::string strEnvDir = (dir.Path() / "env/home").string();
    const std::string strOptionDir = (dir.Path() / "option").string();
    {
        ScopedEnv env("DRAVELIN_HOME", nullptr);
        CDataFolder folder;
        ASSERT_TRUE(folder.Resolve(""));
        // The test binary's folder is writable here, so it is the data folder.
        EXPECT_EQ(folder.GetPath(), CDataFolder::GetProgramFolder());
        EXPECT_FALSE(folder.GetPath().empty());
    }
    ScopedEnv env("DRAVELIN_HOME", strEnvDir.c_str());
    for (const std::string& strOption : {std::string(), strOptionDir})
    {
        CDataFolder folder;
        ASSERT_TRUE(folder.Resolve(strOption));
        EXPECT_EQ(folder.GetPath(), strOption.empty() ? strEnvDir : strOption);
        EXPECT_TRUE(std::filesystem::is_directory(folder.GetPath()));
    }
    testsupport::WriteFile(dir.File("file"), "x");
    std::string strError;
    EXPECT_FALSE(CDataFolder().Resolve(dir.File("file"), &strError));
    EXPECT_FALSE(strError.empty());
}

TEST(DataFolderTest, ConfigFolderFollowsXdg)
{
    ScopedEnv config("XDG_CONFIG_HOME", "/xdg/conf");
    EXPECT_EQ(CDataFolder::GetConfigFolder(), "/xdg/conf/dravelin");
    ScopedEnv relative("XDG_CONFIG_HOME", "relative");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(CDataFolder::GetConfigFolder(), "/home/someone/.config/dravelin");
}

TEST(DataFolderTest, DataDirOptionIsTakenOut)
{
    using Args = std::vector<std::string>;
    const struct
    {
        Args args;
        bool bOk;
        std::string strDir;
        Args rest;
    } cases[] = {{{"--data-dir", "/d", "settings"}, true, "/d", {"settings"}},
                 {{"--data-dir=/e", "queue", "--all"}, true, "/e", {"queue", "--all"}},
                 {{"settings"}, true, "", {"settings"}},
                 {{"--data-dir"}, false, "", {"--data-dir"}},
                 {{"--data-dir="}, false, "", {}}};
    for (const auto& c : cases)
    {
        auto args = c.args;
        std::string strDir = "unset";
        EXPECT_EQ(CDataFolder::TakeDataDirOption(args, strDir), c.bOk);
        if (c.bOk)
        {
            EXPECT_EQ(strDir + " " + testing::PrintToString(args),
                      c.strDir + " " + testing::PrintToString(c.rest));
        }
    }
}
