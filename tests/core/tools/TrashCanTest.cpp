#include "tools/TrashCan.h"
#include "settings/Preferences.h"
#include "support/TestSupport.h"
#include "tools/FakeSystemServices.h"
#include "tools/QueueTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace
{
namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

void Write(const fs::path& path, const std::string& strData = "data")
{
    fs::create_directories(path.parent_path());
    WriteFile(path.string(), strData);
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fake home with its trash, three volumes with trash folders of the kinds
// the desktop uses, and a folder outside every trash that links point at.
class TrashTest : public ::testing::Test
{
protected:
    TrashTest()
    {
        const fs::path root = m_dir.Path();
        m_system.m_strHome = (root / "home").string();
        m_system.m_strDataHome = (root / "home/.local/share").string();
        m_system.m_strCacheHome = (root / "home/.cache").string();
        m_strUid = std::to_string(m_system.m_nUid);

        m_outside = root / "outside";
        Write(m_outside / "keep.txt", "precious");
        Write(m_outside / "sub/also.txt", "precious");

        m_homeTrash = root / "home/.local/share/Trash";
        Write(m_homeTrash / "files/a.txt");
        Write(m_homeTrash / "files/folder/deeper/b.txt");
        Write(m_homeTrash / "info/a.txt.trashinfo");
        Write(m_homeTrash / "info/folder.trashinfo");
        Write(m_homeTrash / "expunged/old");
        Write(m_homeTrash / "directorysizes", "4096 0 folder\n");
        fs::create_directory_symlink(m_outside, m_homeTrash / "files/link-to-folder");
        fs::create_symlink(m_outside / "keep.txt", m_homeTrash / "files/link-to-file");
        fs::create_directory_symlink(m_outside, m_homeTrash / "files/folder/inner-link");
        // A trashed folder its owner could not write into.
        Write(m_homeTrash / "files/readonly/c.txt");
        fs::permissions(m_homeTrash / "files/readonly", fs::perms::owner_read | fs::perms::owner_exec);

        m_vol1 = root / "vol1"; // $topdir/.Trash-$uid
        Write(m_vol1 / (".Trash-" + m_strUid) / "files/d.bin");
        Write(m_vol1 / (".Trash-" + m_strUid) / "info/d.bin.trashinfo");
        m_vol2 = root / "vol 2"; // $topdir/.Trash/$uid with the sticky bit
        Write(m_vol2 / ".Trash" / m_strUid / "files/e.bin");
        fs::permissions(m_vol2 / ".Trash", fs::perms::all | fs::perms::sticky_bit);
        m_vol3 = root / "vol3"; // .Trash without the sticky bit: not a trash
        Write(m_vol3 / ".Trash" / m_strUid / "files/f.bin");
        fs::permissions(m_vol3 / ".Trash", fs::perms::owner_all);
        m_vol4 = root / "vol4"; // .Trash-$uid is a link out of the volume
        fs::create_directories(m_vol4);
        Write(m_outside / "fake-trash/files/g.bin", "precious");
        fs::create_directory_symlink(m_outside / "fake-trash", m_vol4 / (".Trash-" + m_strUid));

        m_system.m_mountPoints = {"/nonexistent-mount", m_vol1.string(), m_vol2.string() + "/",
                                  m_vol3.string(), m_vol4.string()};
    }

    void ExpectOutsideIntact()
    {
        EXPECT_EQ(ReadFile((m_outside / "keep.txt").string()), "precious");
        EXPECT_EQ(ReadFile((m_outside / "sub/also.txt").string()), "precious");
        EXPECT_EQ(ReadFile((m_outside / "fake-trash/files/g.bin").string()), "precious");
    }

    // The tools over this home, made on first use (after the test's changes).
    CQueueTools& Tools()
    {
        if (!m_tools)
            m_tools.emplace(m_settings, &m_system, nullptr, nullptr);
        return *m_tools;
    }

    testsupport::TempDir m_dir;
    toolstest::FakeSystemServices m_system;
    CPreferences m_settings;
    std::optional<CQueueTools> m_tools;
    std::string m_strUid;
    fs::path m_outside, m_homeTrash, m_vol1, m_vol2, m_vol3, m_vol4;
};

TEST_F(TrashTest, FindsTheHomeTrashAndTheUsersVolumeTrashesOnly)
{
    std::vector<std::string> expected = {m_homeTrash.string(), (m_vol1 / (".Trash-" + m_strUid)).string(),
                                         (m_vol2 / ".Trash" / m_strUid).string()};
    EXPECT_EQ(CTrashCan::FindTrashFolders(m_system), expected);
}

TEST_F(TrashTest, EmptyTheRecycleBinEmptiesEveryTrashWithoutFollowingLinks)
{
    CPreferences settings;
    testsupport::FakePrompts prompts;
    CQueueTools tools(settings, &m_system, &prompts, nullptr);
    EXPECT_TRUE(settings.m_bCanEmptyRecycleBin);
    std::vector<bool> waitCursor;
    tools.SetWaitCursor([&](bool bOn) { waitCursor.push_back(bOn); });

    EXPECT_TRUE(tools.TryEmptyTheRecycleBin());

    EXPECT_EQ(Names(m_homeTrash), (std::vector<std::string>{"expunged", "files", "info"}));
    for (const fs::path& folder :
         {m_homeTrash / "files", m_homeTrash / "info", m_homeTrash / "expunged",
          m_vol1 / (".Trash-" + m_strUid) / "files", m_vol1 / (".Trash-" + m_strUid) / "info",
          m_vol2 / ".Trash" / m_strUid / "files"})
        EXPECT_TRUE(fs::is_empty(folder)) << folder;
    // Not trashes of this user: untouched.
    EXPECT_TRUE(fs::exists(m_vol3 / ".Trash" / m_strUid / "files/f.bin"));
    ExpectOutsideIntact();
    EXPECT_FALSE(tools.m_bEmptyingRecycleBin);
    EXPECT_EQ(waitCursor, (std::vector<bool>{true, false}));
    EXPECT_TRUE(prompts.m_messages.empty());
    // An empty trash counts as emptied; it is not started again while emptying.
    EXPECT_TRUE(tools.TryEmptyTheRecycleBin());
    Write(m_homeTrash / "files/a.txt");
    tools.m_bEmptyingRecycleBin = 1;
    EXPECT_FALSE(tools.TryEmptyTheRecycleBin());
    EXPECT_TRUE(fs::exists(m_homeTrash / "files/a.txt"));
}

// A home trash that is a link is not followed; with no trash of this user
// anywhere there is nothing to empty.
TEST_F(TrashTest, AHomeTrashThatIsALinkIsNotFollowed)
{
    fs::remove_all(m_homeTrash);
    fs::create_directory_symlink(m_outside / "fake-trash", m_homeTrash);
    m_system.m_mountPoints = {m_vol3.string(), m_vol4.string()};
    m_settings.m_bCanEmptyRecycleBin = 1;
    CQueueTools& tools = Tools();

    EXPECT_FALSE(m_settings.m_bCanEmptyRecycleBin);
    EXPECT_FALSE(tools.TryEmptyTheRecycleBin());
    ExpectOutsideIntact();
}

TEST_F(TrashTest, FilesAndInfoThatAreLinksAreNotFollowed)
{
    fs::remove_all(m_homeTrash / "files");
    fs::create_directory_symlink(m_outside, m_homeTrash / "files");

    EXPECT_FALSE(CTrashCan::EmptyTrashFolder(m_homeTrash.string()));
    ExpectOutsideIntact();
    EXPECT_TRUE(fs::is_empty(m_homeTrash / "info"));
}

TEST_F(TrashTest, TemporaryFilesAreDravelinsOwnCacheOnly)
{
    const fs::path cache = fs::path(m_system.m_strCacheHome);
    Write(cache / "dravelin/page.html");
    Write(cache / "dravelin/sub/part.bin");
    fs::create_directory_symlink(m_outside, cache / "dravelin/link");
    Write(cache / "some-browser/cache.db", "precious");
    CQueueTools& tools = Tools();
    EXPECT_EQ(tools.GetCacheFolder(), (cache / "dravelin").string());
    bool bBusyDuring = false;
    tools.SetWaitCursor(
        [&](bool bOn)
        {
            if (bOn)
                bBusyDuring = tools.m_bDeletingTempFiles != 0;
        });

    EXPECT_TRUE(tools.TryDeleteTemporaryInternetFiles());

    EXPECT_TRUE(bBusyDuring);
    EXPECT_FALSE(tools.m_bDeletingTempFiles);
    EXPECT_TRUE(fs::is_directory(cache / "dravelin"));
    EXPECT_TRUE(fs::is_empty(cache / "dravelin"));
    EXPECT_EQ(ReadFile((cache / "some-browser/cache.db").string()), "precious");
    ExpectOutsideIntact();
}

// Without a cache folder there is nothing to delete; one that is a link is not
// followed; without a home there is no cache folder.
TEST_F(TrashTest, TemporaryFilesWithoutAPlainCacheFolder)
{
    EXPECT_TRUE(Tools().TryDeleteTemporaryInternetFiles());
    fs::create_directories(m_system.m_strCacheHome);
    fs::create_directory_symlink(m_outside, fs::path(m_system.m_strCacheHome) / "dravelin");
    EXPECT_FALSE(Tools().TryDeleteTemporaryInternetFiles());
    ExpectOutsideIntact();
    m_system.m_strCacheHome.clear();
    CQueueTools tools(m_settings, &m_system, nullptr, nullptr);
    EXPECT_EQ(tools.GetCacheFolder(), "");
    EXPECT_FALSE(tools.TryDeleteTemporaryInternetFiles());
}

} // namespace
