#include "tools/PosixSystemServices.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace
{
namespace fs = std::filesystem;

struct MountCase
{
    const char* pszName;
    const char* pszTable;
    std::vector<std::string> expected;
};

using MountTableTest = ::testing::TestWithParam<MountCase>;

TEST_P(MountTableTest, MountPoints)
{
    EXPECT_EQ(CPosixSystemServices::ParseMountTable(GetParam().pszTable), GetParam().expected);
}

using M = MountCase;
INSTANTIATE_TEST_SUITE_P(
    Tables, MountTableTest,
    ::testing::Values(
        M{"Ordinary",
          "/dev/sda1 / ext4 rw,relatime 0 0\nproc /proc proc rw 0 0\n/dev/sdb1 /media/usb vfat rw 0 0\n",
          {"/", "/proc", "/media/usb"}},
        M{"EscapedBlankTabAndBackslash",
          "/dev/sdc1 /media/My\\040Stick vfat rw 0 0\n/dev/sdd1 /mnt/a\\011b\\134c ext4 rw 0 0\n",
          {"/media/My Stick", "/mnt/a\tb\\c"}},
        M{"IncompleteEscapeStaysAsItIs", "/dev/x /mnt/odd\\04 ext4 rw 0 0\n", {"/mnt/odd\\04"}},
        M{"BindMountListedOnce", "/dev/sda1 /srv ext4 rw 0 0\n/dev/sda1 /srv ext4 rw 0 0\n", {"/srv"}},
        M{"MalformedAndRelativeLinesSkipped", "\nonlyonefield\nnone relative tmpfs rw 0 0\n", {}},
        M{"NoFinalNewline", "/dev/sda1 /data ext4 rw 0 0", {"/data"}}),
    [](const ::testing::TestParamInfo<MountCase>& info) { return info.param.pszName; });

TEST(PosixSystemServicesTest, MountPointsComeFromTheGivenTable)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.File("mounts"), "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/usb vfat rw 0 0\n");
    CPosixSystemServices system(dir.File("mounts"));
    EXPECT_EQ(system.GetMountPoints(), (std::vector<std::string>{"/", "/media/usb"}));
    CPosixSystemServices missing(dir.File("no-such-table"));
    EXPECT_TRUE(missing.GetMountPoints().empty());
}

using testsupport::ScopedEnv;

TEST(PosixSystemServicesTest, XdgFoldersAndTheirDefaults)
{
    ScopedEnv home("HOME", "/home/joe");
    CPosixSystemServices system;
    {
        ScopedEnv data("XDG_DATA_HOME", "/data/joe");
        ScopedEnv cache("XDG_CACHE_HOME", "/cache/joe");
        EXPECT_EQ(system.GetHomeFolder(), "/home/joe");
        EXPECT_EQ(system.GetDataHome(), "/data/joe");
        EXPECT_EQ(system.GetCacheHome(), "/cache/joe");
    }
    {
        ScopedEnv data("XDG_DATA_HOME", nullptr);
        ScopedEnv cache("XDG_CACHE_HOME", "");
        EXPECT_EQ(system.GetDataHome(), "/home/joe/.local/share");
        EXPECT_EQ(system.GetCacheHome(), "/home/joe/.cache");
    }
    {
        // A relative value is not a place: the default applies.
        ScopedEnv data("XDG_DATA_HOME", "relative/share");
        EXPECT_EQ(system.GetDataHome(), "/home/joe/.local/share");
    }
}

TEST(PosixSystemServicesTest, NoDesktopServicesWithoutASession)
{
    CPosixSystemServices system;
    std::vector<std::string> connections = {"stale"};
    EXPECT_FALSE(system.SetClipboardText("x"));
    EXPECT_FALSE(system.HaveDialUp());
    EXPECT_FALSE(system.EnumDialUpConnections(connections));
    EXPECT_TRUE(connections.empty());
    EXPECT_EQ(system.GetUserId(), getuid());
}

bool WaitForFile(const fs::path& path)
{
    for (int i = 0; i < 1000 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path);
}

TEST(PosixSystemServicesTest, StartsAProgramWithItsArgumentsInItsFolder)
{
    testsupport::TempDir dir;
    CPosixSystemServices system;
    // No shell: blanks, quotes and a semicolon stay inside the one argument.
    const std::string strName = "a \"quoted\" name; touch injected";

    ASSERT_TRUE(system.StartProgram("touch", {"--", strName}, dir.Path().string()));

    EXPECT_TRUE(WaitForFile(dir.Path() / strName));
    EXPECT_FALSE(fs::exists(dir.Path() / "injected"));
    // A missing program or folder is not started.
    EXPECT_FALSE(system.StartProgram(dir.File("no-such-program"), {}, ""));
    EXPECT_FALSE(system.StartProgram("touch", {"x"}, dir.File("no-such-folder")));
    EXPECT_FALSE(system.StartProgram("", {}, ""));
}

} // namespace
