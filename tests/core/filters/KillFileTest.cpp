#include "filters/KillFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <list>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using Entries = std::vector<std::string>;

struct LoadCase
{
    const char* szName;
    std::string strFile;
    Entries expected;
};

// What is left in the folder (a failed save must not leave its temporary file).
long FileCount(const TempDir& dir)
{
    return std::distance(std::filesystem::directory_iterator(dir.Path()),
                         std::filesystem::directory_iterator());
}

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.szName;
}

using KillFileLoad = ::testing::TestWithParam<LoadCase>;

TEST_P(KillFileLoad, ReadsEntries)
{
    TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    WriteFile(strPath, GetParam().strFile);
    Entries entries;
    CKillFile::LoadKillFilter(strPath, entries);
    EXPECT_EQ(entries, GetParam().expected);
}

using L = LoadCase;
INSTANTIATE_TEST_SUITE_P(
    Files, KillFileLoad,
    ::testing::Values(L{"Empty", "", {}}, L{"OneEntryALine", "spam\nham\n", {"spam", "ham"}},
                      L{"LastLineWithoutLineEnd", "spam\nham", {"spam", "ham"}},
                      L{"CrLfFromTheOtherPlatform", "spam\r\nham\r\n", {"spam", "ham"}},
                      L{"OnlyOneCrIsALineEnd", "a\r\r\n", {"a\r"}},
                      L{"DuplicateLoadedOnce", "spam\nham\nspam\n", {"spam", "ham"}},
                      L{"DuplicatesAreCaseSensitive", "Spam\nspam\n", {"Spam", "spam"}},
                      L{"EmptyLineIsAnEntry", "spam\n\nham\n", {"spam", "", "ham"}},
                      L{"EmptyCrLfLineIsAnEntry", "\r\n", {""}}, L{"TwoEmptyLinesOneEntry", "\n\n", {""}},
                      L{"BlanksKept", " spam \n", {" spam "}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.szName); });

// Loading adds only what the list lacks (also to a vector that grows while it
// is checked); a missing or unreadable file leaves the list alone.
TEST(KillFile, LoadAddsOnlyWhatTheListLacks)
{
    TempDir dir;
    const std::string strPath = dir.File("Author.kill");
    WriteFile(strPath, "a\nb\n");
    std::list<std::string> entries{"b", "c"};
    for (int i = 0; i < 2; ++i)
    {
        CKillFile::LoadKillFilter(strPath, entries);
        EXPECT_EQ(entries, (std::list<std::string>{"b", "c", "a"}));
    }
    std::string strFile;
    for (int i = 0; i < 500; ++i)
        strFile += "entry" + std::to_string(i % 250) + "\n";
    WriteFile(strPath, strFile);
    Entries grown{"entry7"};
    CKillFile::LoadKillFilter(strPath, grown);
    ASSERT_EQ(grown.size(), 250u);
    EXPECT_EQ(grown[1], "entry0");
    EXPECT_EQ(grown.back(), "entry249");

    Entries kept{"keep"};
    CKillFile::LoadKillFilter(dir.File("Subject.kill"), kept);
    CKillFile::LoadKillFilter(dir.Path().string(), kept); // a folder
    EXPECT_EQ(kept, Entries{"keep"});
}

// A save writes one entry a line and replaces the whole file in place, with
// its mode, leaving no temporary file; the empty entry survives the round trip.
TEST(KillFile, SaveWritesOneEntryALine)
{
    TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    WriteFile(strPath, "a much longer old content\nsecond\nthird\n");
    ::chmod(strPath.c_str(), 0640);
    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, Entries{"spam", "", "Ham"}));
    EXPECT_EQ(ReadFile(strPath), "spam\n\nHam\n");
    Entries loaded;
    CKillFile::LoadKillFilter(strPath, loaded);
    EXPECT_EQ(loaded, (Entries{"spam", "", "Ham"}));
    EXPECT_EQ(FileCount(dir), 1);
    struct stat st;
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, std::list<std::string>{}));
    EXPECT_EQ(ReadFile(strPath), "");
}

// A save that cannot be done leaves the old file and no temporary file.
TEST(KillFile, FailedSaveLeavesTheOldFile)
{
    TempDir dir;
    EXPECT_FALSE(CKillFile::SaveKillFilter((dir.Path() / "gone" / "Author.kill").string(), Entries{"x"}));
    EXPECT_EQ(FileCount(dir), 0);
    // The name is taken by a non-empty folder: the new file cannot replace it.
    const std::string strPath = dir.File("Subject.kill");
    std::filesystem::create_directory(strPath);
    WriteFile(strPath + "/inside", "old");
    EXPECT_FALSE(CKillFile::SaveKillFilter(strPath, Entries{"x"}));
    EXPECT_EQ(ReadFile(strPath + "/inside"), "old");
    EXPECT_EQ(FileCount(dir), 1);
    if (::geteuid() == 0)
        return; // the superuser writes into read-only folders
    const std::filesystem::path folder = dir.Path() / "ro";
    std::filesystem::create_directory(folder);
    WriteFile((folder / "Author.kill").string(), "old\n");
    ::chmod(folder.c_str(), 0555);
    const bool bSaved = CKillFile::SaveKillFilter((folder / "Author.kill").string(), Entries{"new"});
    ::chmod(folder.c_str(), 0755);
    EXPECT_FALSE(bSaved);
    EXPECT_EQ(ReadFile((folder / "Author.kill").string()), "old\n");
}

} // namespace
