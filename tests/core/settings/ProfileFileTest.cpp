#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
mode_t ModeOf(const std::string& strPath)
{
    struct stat st = {};
    EXPECT_EQ(::stat(strPath.c_str(), &st), 0);
    return st.st_mode & 07777;
}
} // namespace

TEST(ProfileFileTest, LeadingNumberRule)
{
    using P = std::pair<const char*, int32_t>;
    for (const auto& [pszText, nExpected] :
         {P{"42", 42}, P{"  7", 7}, P{"-3", -3}, P{"+5", 5}, P{"12abc", 12}, P{"abc", 0}, P{"", 0}, P{"-", 0},
          P{"\t-08", -8}, P{"1 2", 1}, P{"0x10", 0}, P{"2147483647", 2147483647}, P{"-2147483648", INT32_MIN},
          P{"99999999999", INT32_MAX}, P{"-99999999999", INT32_MIN}})
        EXPECT_EQ(CProfileFile::ParseInt(pszText), nExpected) << '"' << pszText << '"';
}

TEST(ProfileFileTest, CountsAreBounded)
{
    CProfileFile ini;
    ini.SetString("S", "Five", "5");
    ini.SetString("S", "Negative", "-3");
    ini.SetString("S", "Huge", "2000000000");
    EXPECT_EQ(ini.GetCount("S", "Five", 100), 5);
    EXPECT_EQ(ini.GetCount("S", "Negative", 100), 0);
    EXPECT_EQ(ini.GetCount("S", "Huge", 100), 100);
    EXPECT_EQ(ini.GetCount("S", "Missing", 100), 0);
}

TEST(ProfileFileTest, ReadsWithDefaultsAndAnyLetterCase)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "; a comment\n[Dravelin]\nVersion=2.0\n\n[PREFERENCES]\n  MaxRetries = 7 \n"
                       "UseProxy=junk\nProxyAddress=  proxy.local  \n;ProxyPort=9\nEmpty=\n");
    EXPECT_EQ(CProfileFile::GetProfileString("dravelin", "VERSION", "x", strPath), "2.0");
    EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "maxretries", 4, strPath), 7);
    EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "UseProxy", 1, strPath), 0)
        << "no number reads as 0";
    EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "ProxyPort", 80, strPath), 80) << "commented out";
    EXPECT_EQ(CProfileFile::GetProfileString("Preferences", "ProxyAddress", "", strPath), "proxy.local");
    EXPECT_EQ(CProfileFile::GetProfileString("Preferences", "Empty", "dflt", strPath), "");
    EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "Empty", 4, strPath), 4)
        << "empty value: the default";
    EXPECT_EQ(CProfileFile::GetProfileString("Preferences", "Version", "dflt", strPath), "dflt")
        << "keys belong to their own section";
    EXPECT_EQ(CProfileFile::GetProfileInt("Nothing", "Here", -100, strPath), -100);
    EXPECT_EQ(CProfileFile::GetProfileString("Dravelin", "Version", "d", dir.File("missing.ini")), "d");
}

TEST(ProfileFileTest, StringsAreCutTo254)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    std::string strLong(300, 'v');
    ASSERT_TRUE(CProfileFile::WriteProfileString("S", "Long", strLong, strPath));
    EXPECT_EQ(CProfileFile::GetProfileString("S", "Long", "", strPath), std::string(254, 'v'));
    EXPECT_EQ(CProfileFile::GetProfileString("S", "Missing", strLong, strPath).size(), 254u);
    EXPECT_NE(ReadFile(strPath).find(strLong), std::string::npos) << "the file keeps the whole value";
}

TEST(ProfileFileTest, WritesCreateFileAndSectionWithMode0600)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    ASSERT_TRUE(CProfileFile::WriteProfileInt("Account", "Subscriptions", 17, strPath));
    EXPECT_EQ(ReadFile(strPath), "[Account]\nSubscriptions=17\n");
    EXPECT_EQ(ModeOf(strPath), 0600u);
    ASSERT_TRUE(CProfileFile::WriteProfileString("NewsGuy", "Password", "secret", strPath));
    ASSERT_TRUE(CProfileFile::WriteProfileInt("account", "Active", -2, strPath));
    EXPECT_EQ(ReadFile(strPath), "[Account]\nSubscriptions=17\nActive=-2\n\n[NewsGuy]\nPassword=secret\n");

    // A file made readable by others becomes private again with the next write.
    ASSERT_EQ(::chmod(strPath.c_str(), 0644), 0);
    ASSERT_TRUE(CProfileFile::WriteProfileInt("Account", "Active", 1, strPath));
    EXPECT_EQ(ModeOf(strPath), 0600u);
}

TEST(ProfileFileTest, WriteKeepsEverythingElse)
{
    using C = std::pair<std::string, std::string>;
    const C cases[] = {
        C{"; keep me\n[Favorites]\nTotal=1\nNewsGroup1=alt.test\n\n[Preferences]\nunknown=1\nMaxRetries=4\n",
          "; keep me\n[Favorites]\nTotal=1\nNewsGroup1=alt.test\n\n[Preferences]\nunknown=1\nMaxRetries=9\n"},
        C{"[Favorites]\r\nTotal=1\r\n[Preferences]\r\nmaxretries = 4\r\nX=y\r\n",
          "[Favorites]\r\nTotal=1\r\n[Preferences]\r\nmaxretries =9\r\nX=y\r\n"},
        // A new key goes after the section's last key.
        C{"[Preferences]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n",
          "[Preferences]\r\nA=1\r\nMaxRetries=9\r\n\r\n[Other]\r\nB=2\r\n"},
        C{"[Other]\nB=2", "[Other]\nB=2\n\n[PREFERENCES]\nMaxRetries=9\n"}};
    for (const auto& c : cases)
    {
        TempDir dir;
        std::string strPath = dir.File("Dravelin.ini");
        WriteFile(strPath, c.first);
        ASSERT_TRUE(CProfileFile::WriteProfileInt("PREFERENCES", "MaxRetries", 9, strPath));
        EXPECT_EQ(ReadFile(strPath), c.second);
        EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "MaxRetries", 0, strPath), 9) << c.first;
    }
}

// A value cannot forge other keys; "NewsGroup" keys match "Newsgroup" keys; a
// file that cannot be read is not replaced by one holding one key.
TEST(ProfileFileTest, WritesStayInTheirKey)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    ASSERT_TRUE(CProfileFile::WriteProfileString("NewsGuy", "Username", "me\r\n[Account]\nSubscriptions=31",
                                                 strPath));
    EXPECT_EQ(CProfileFile::GetProfileInt("Account", "Subscriptions", 0, strPath), 0);
    EXPECT_EQ(CProfileFile::GetProfileString("NewsGuy", "Username", "", strPath),
              "me[Account]Subscriptions=31");
    ASSERT_TRUE(CProfileFile::WriteProfileString("Favorites", "Newsgroup1", "alt.binaries.test", strPath));
    EXPECT_EQ(CProfileFile::GetProfileString("Favorites", "NewsGroup1", "", strPath), "alt.binaries.test");

    std::string strFolder = dir.File("folder.ini");
    std::filesystem::create_directory(strFolder);
    EXPECT_FALSE(CProfileFile::WriteProfileInt("A", "B", 1, strFolder));
    EXPECT_TRUE(std::filesystem::is_directory(strFolder));
}

TEST(ProfileFileTest, ReadManyObjectBatchesWrites)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[A]\r\nx=1\r\n");
    CProfileFile ini;
    ASSERT_TRUE(ini.Read(strPath));
    EXPECT_TRUE(ini.HasKey("a", "X"));
    EXPECT_FALSE(ini.HasKey("a", "y"));
    ini.SetInt("A", "y", 2);
    ini.SetString("B", "z", "three");
    EXPECT_EQ(ReadFile(strPath), "[A]\r\nx=1\r\n") << "nothing written before Write";
    ASSERT_TRUE(ini.Write(strPath));
    EXPECT_EQ(ReadFile(strPath), "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=three\r\n");
}
