#include "download/SavedFileName.h"

#include <gtest/gtest.h>

namespace
{
struct NameCase
{
    const char* pszName;
    std::string strDisposition;
    std::string strPath;
    bool bBracket;
    bool bUnderscore;
    std::string strExpected;
    std::string strListed = {};
};

using SavedFileNameMake = ::testing::TestWithParam<NameCase>;

TEST_P(SavedFileNameMake, OneSafeName)
{
    const NameCase& c = GetParam();
    std::string strName =
        CSavedFileName::Make(c.strDisposition, c.strListed, c.strPath, c.bBracket, c.bUnderscore);
    EXPECT_EQ(strName, c.strExpected);
    // Whatever the server said, the result is one plain name in the folder.
    EXPECT_FALSE(strName.empty());
    EXPECT_EQ(strName.find('/'), std::string::npos);
    EXPECT_NE(strName, ".");
    EXPECT_NE(strName, "..");
    EXPECT_LE(strName.size(), 255u);
    for (char ch : strName)
        EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
}

const std::string k300(300, 'a');

INSTANTIATE_TEST_SUITE_P(
    Cases, SavedFileNameMake,
    ::testing::Values(
        NameCase{"Quoted", "attachment; filename=\"movie.avi\"", "/x", true, false, "movie.avi"},
        NameCase{"Token", "attachment; filename=movie.avi; size=3", "/x", true, false, "movie.avi"},
        NameCase{"TokenNoType", "filename=a.zip", "/x", true, false, "a.zip"},
        NameCase{"CaseOfParameter", "inline; FileName=\"A.ZIP\"", "/x", true, false, "A.ZIP"},
        NameCase{"ExtendedPreferred",
                 "attachment; filename=\"plain.txt\"; filename*=UTF-8''caf%C3%A9%20x.txt", "/x", true, false,
                 "caf\xC3\xA9 x.txt"},
        NameCase{"EscapedQuote", "attachment; filename=\"a\\\"b.txt\"", "/x", true, false, "a\"b.txt"},
        NameCase{"PathFallback", "", "/dl/alt.test/3/my%20file.rar?x=1", true, false, "my file.rar"},
        NameCase{"PathQueryOnly", "", "/news-bin/wwwdecode?abc/def", true, false, "wwwdecode"},
        NameCase{"ListedBeforePath", "", "/news-bin/wwwdecode?abc/def", true, true, "a b.rar", "a_b.rar"},
        NameCase{"ServerBeforeListed", "attachment; filename=\"s.zip\"", "/x", true, false, "s.zip", "l.zip"},
        NameCase{"ListedMadeSafe", "", "/x", true, false, "x", "../x"},
        NameCase{"Bracket", "attachment; filename=\"movie[1].avi\"", "/x", true, false, "movie.avi"},
        NameCase{"BracketOff", "attachment; filename=\"movie[1].avi\"", "/x", false, false, "movie[1].avi"},
        NameCase{"BracketsReversed", "attachment; filename=\"a]b[c.avi\"", "/x", true, false, "a]b[c.avi"},
        NameCase{"LastBrackets", "attachment; filename=\"x[a]y[2].r01\"", "/x", true, false, "x[a]y.r01"},
        NameCase{"Underscore", "attachment; filename=\"my_file.zip\"", "/x", true, true, "my file.zip"},
        NameCase{"UnderscoreOff", "attachment; filename=\"my_file.zip\"", "/x", true, false, "my_file.zip"},
        // What a hostile or broken server can send.
        NameCase{"Parent", "attachment; filename=\"../../x\"", "/x", true, false, "x"},
        NameCase{"Absolute", "attachment; filename=\"/etc/x\"", "/x", true, false, "x"},
        NameCase{"Backslashes", "attachment; filename=\"..\\\\..\\\\win.ini\"", "/x", true, false, "win.ini"},
        NameCase{"EncodedSlash", "", "/file/a/..%2F..%2Fescape", true, false, "escape"},
        NameCase{"DotDotOnly", "attachment; filename=\"..\"", "/x", true, false, "download"},
        NameCase{"DotOnly", "attachment; filename=\".\"", "/x", true, false, "download"},
        NameCase{"TrailingSlash", "attachment; filename=\"dir/\"", "/x", true, false, "download"},
        NameCase{"Control",
                 "attachment; filename=\"a\tb\x01"
                 "c\x7F.txt\"",
                 "/x", true, false, "a_b_c_.txt"},
        NameCase{"EncodedNul", "", "/file/a%00b.txt", true, false, "a_b.txt"},
        NameCase{"EncodedNewline", "", "/file/a%0D%0Ab.txt", true, false, "a__b.txt"},
        NameCase{"Empty", "attachment; filename=\"\"", "/", true, false, "download"},
        NameCase{"EmptyEverything", "", "", true, false, "download"},
        NameCase{"OnlyBrackets", "attachment; filename=\"[1]\"", "/x", true, false, "download"},
        NameCase{"LongKeepsExtension", "attachment; filename=\"" + k300 + ".zip\"", "/x", true, false,
                 std::string(251, 'a') + ".zip"},
        NameCase{"LongNoExtension", "attachment; filename=\"" + k300 + "\"", "/x", true, false,
                 std::string(255, 'a')},
        NameCase{"LongExactly255", "attachment; filename=\"" + std::string(251, 'b') + ".zip\"", "/x", true,
                 false, std::string(251, 'b') + ".zip"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.pszName); });

TEST(SavedFileName, LongUtf8NameIsNotCutInsideACharacter)
{
    std::string strName;
    for (int i = 0; i < 150; ++i)
        strName += "\xC3\xA9"; // 300 bytes of two-byte characters
    std::string strSafe = CSavedFileName::MakeSafe(strName + ".txt");
    ASSERT_LE(strSafe.size(), 255u);
    EXPECT_EQ(strSafe.substr(strSafe.size() - 4), ".txt");
    std::string strStem = strSafe.substr(0, strSafe.size() - 4);
    EXPECT_EQ(strStem.size() % 2, 0u);
    EXPECT_EQ(static_cast<unsigned char>(strStem.back()), 0xA9);
}

TEST(SavedFileName, NumberedNamesKeepTheExtensionAndTheLimit)
{
    EXPECT_EQ(CSavedFileName::Numbered("movie.avi", 1), "movie.avi");
    EXPECT_EQ(CSavedFileName::Numbered("movie.part1.rar", 2), "movie.part1 (2).rar");
    EXPECT_EQ(CSavedFileName::Numbered("noext", 3), "noext (3)");
    EXPECT_EQ(CSavedFileName::Numbered(".hidden", 12), ".hidden (12)");
    std::string strLong = CSavedFileName::Numbered(std::string(251, 'a') + ".zip", 2);
    EXPECT_EQ(strLong, std::string(247, 'a') + " (2).zip");
}

TEST(SavedFileName, UrlDecodeLeavesBrokenEscapes)
{
    EXPECT_EQ(CSavedFileName::UrlDecode("a%2"), "a%2");
    EXPECT_EQ(CSavedFileName::UrlDecode("a%zz%41"), "a%zzA");
    EXPECT_EQ(CSavedFileName::UrlDecode("%"), "%");
}
} // namespace
