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

class KillFileLoad : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(KillFileLoad, ReadsEntries)
{
    TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    WriteFile(strPath, GetParam().strFile);
    Entries entries;
    CKillFile::LoadKillFilter(strPath, entries);
    EXPECT_EQ(entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, KillFileLoad,
    ::testing::Values(LoadCase{"Empty", "", {}}, LoadCase{"OneEntryALine", "spam\nham\n", {"spam", "ham"}},
                      LoadCase{"LastLineWithoutLineEnd", "spam\nham", {"spam", "ham"}},
                      LoadCase{"CrLfFromTheOtherPlatform", "spam\r\nham\r\n", {"spam", "ham"}},
                      LoadCase{"OnlyOneCrIsALineEnd", "a\r\r\n", {"a\r"}},
                      LoadCase{"DuplicateLoadedOnce", "spam\nham\nspam\n", {"spam", "ham"}},
                      LoadCase{"DuplicatesAreCaseSensitive", "Spam\nspam\n", {"Spam", "spam"}},
                      LoadCase{"EmptyLineIsAnEntry", "spam\n\nham\n", {"spam", "", "ham"}},
                      LoadCase{"EmptyCrLfLineIsAnEntry", "\r\n", {""}},
                      LoadCase{"TwoEmptyLinesOneEntry", "\n\n", {""}},
                      LoadCase{"BlanksKept", " spam \n", {" spam "}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.szName); });

TEST(KillFile, LoadAddsOnlyWhatTheListLacks)
{
    TempDir dir;
    const std::string strPath = dir.File("Author.kill");
    WriteFile(strPath, "a\nb\n");
    std::list<std::string> entries{"b", "c"};
    CKillFile::LoadKillFilter(strPath, entries);
    EXPECT_EQ(entries, (std::list<std::string>{"b", "c", "a"}));
    // A second load adds nothing.
    CKillFile::LoadKillFilter(strPath, entries);
    EXPECT_EQ(entries.size(), 3u);
}

TEST(KillFile, LoadAppendsToAGrowingVector)
{
    // Many lines, so the list reallocates while it is checked for duplicates.
    TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    std::string strFile;
    for (int i = 0; i < 500; ++i)
        strFile += "entry" + std::to_string(i % 250) + "\n";
    WriteFile(strPath, strFile);
    Entries entries{"entry7"};
    CKillFile::LoadKillFilter(strPath, entries);
    ASSERT_EQ(entries.size(), 250u);
    EXPECT_EQ(entries[1], "entry0");
    EXPECT_EQ(entries.back(), "entry249");
}

TEST(KillFile, MissingOrUnreadableFileLeavesTheListAlone)
{
    TempDir dir;
    Entries entries{"keep"};
    CKillFile::LoadKillFilter(dir.File("Author.kill"), entries);
    CKillFile::LoadKillFilter(dir.Path().string(), entries); // a folder
    EXPECT_EQ(entries, Entries{"keep"});
}

TEST(KillFile, SaveWritesOneEntryALine)
{
    TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, Entries{"spam", "", "Ham"}));
    EXPECT_EQ(ReadFile(strPath), "spam\n\nHam\n");

    // Round trip: the empty entry survives.
    Entries loaded;
    CKillFile::LoadKillFilter(strPath, loaded);
    EXPECT_EQ(loaded, (Entries{"spam", "", "Ham"}));
}

TEST(KillFile, SaveOfAnEmptyListEmptiesTheFile)
{
    TempDir dir;
    const std::string strPath = dir.File("Author.kill");
    WriteFile(strPath, "old\n");
    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, Entries{}));
    EXPECT_TRUE(std::filesystem::exists(strPath));
    EXPECT_EQ(ReadFile(strPath), "");
}

TEST(KillFile, SaveReplacesTheWholeFileAndLeavesNoTemporaryFile)
{
    TempDir dir;
    const std::string strPath = dir.File("Author.kill");
    WriteFile(strPath, "a much longer old content\nsecond\nthird\n");
    ::chmod(strPath.c_str(), 0640);
    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, std::list<std::string>{"x"}));
    EXPECT_EQ(ReadFile(strPath), "x\n");

    EXPECT_EQ(FileCount(dir), 1);
    struct stat st;
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(KillFile, SaveIntoAMissingFolderFailsQuietly)
{
    TempDir dir;
    const std::string strPath = (dir.Path() / "gone" / "Author.kill").string();
    EXPECT_FALSE(CKillFile::SaveKillFilter(strPath, Entries{"x"}));
    EXPECT_FALSE(std::filesystem::exists(strPath));
}

TEST(KillFile, FailedSaveLeavesTheOldFile)
{
    TempDir dir;
    // The name is taken by a non-empty folder: the new file cannot replace it.
    const std::string strPath = dir.File("Subject.kill");
    std::filesystem::create_directory(strPath);
    WriteFile(strPath + "/inside", "old");
    EXPECT_FALSE(CKillFile::SaveKillFilter(strPath, Entries{"x"}));
    EXPECT_EQ(ReadFile(strPath + "/inside"), "old");
    EXPECT_EQ(FileCount(dir), 1) << "the temporary file was not removed";
}

TEST(KillFile, SaveInAReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into read-only folders";
    TempDir dir;
    const std::filesystem::path folder = dir.Path() / "ro";
    std::filesystem::create_directory(folder);
    const std::string strPath = (folder / "Author.kill").string();
    WriteFile(strPath, "old\n");
    ::chmod(folder.c_str(), 0555);
    const bool bSaved = CKillFile::SaveKillFilter(strPath, Entries{"new"});
    ::chmod(folder.c_str(), 0755);
    EXPECT_FALSE(bSaved);
    EXPECT_EQ(ReadFile(strPath), "old\n");
}

} // namespace
