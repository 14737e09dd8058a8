#include "filters/KillMatcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <list>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace
{

std::string CLower(std::string str)
{
    for (char& c : str)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

// The rule as the kill filter states it: each entry in turn, both sides
// lower-cased with the C library's tolower, a plain substring search.
// lowerEntries are the entries already lower-cased, so that a big corpus
// stays quick to check.
bool PlainRuleLowered(const std::vector<std::string>& lowerEntries, const std::string& strText)
{
    const std::string strLower = CLower(strText);
    for (const std::string& entry : lowerEntries)
        if (strLower.find(entry) != std::string::npos)
            return true;
    return false;
}

bool PlainRule(const std::vector<std::string>& entries, const std::string& strText)
{
    std::vector<std::string> lowerEntries;
    for (const std::string& entry : entries)
        lowerEntries.push_back(CLower(entry));
    return PlainRuleLowered(lowerEntries, strText);
}

struct MatchCase
{
    const char* szName;
    std::vector<std::string> entries;
    std::string strText;
    bool bKilled;
};

void PrintTo(const MatchCase& c, std::ostream* os)
{
    *os << c.szName;
}

class KillMatcherRules : public ::testing::TestWithParam<MatchCase>
{
};

TEST_P(KillMatcherRules, MatchesAsThePlainRule)
{
    const MatchCase& c = GetParam();
    CKillMatcher matcher(c.entries);
    EXPECT_EQ(matcher.Matches(c.strText), c.bKilled);
    // The cases themselves must agree with the plain rule.
    EXPECT_EQ(PlainRule(c.entries, c.strText), c.bKilled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KillMatcherRules,
    ::testing::Values(MatchCase{"MixedCaseEntryKillsAnyCase", {"xYz"}, "XYZ123", true},
                      MatchCase{"LowerEntryUpperAuthor", {"xyz"}, "poster XYZ123@example.org", true},
                      MatchCase{"PartOfAWord", {"tion"}, "Compilation (3/7)", true},
                      MatchCase{"NoMatch", {"spam", "ham"}, "Holiday pictures", false},
                      MatchCase{"EntryLongerThanText", {"abcdef"}, "abcde", false},
                      MatchCase{"EntryAtTheEnd", {"rar"}, "file.part01.RAR", true},
                      MatchCase{"EntryIsTheWholeText", {"Exact"}, "exact", true},
                      MatchCase{"EmptyEntryKillsEverything", {"zzz", ""}, "anything", true},
                      MatchCase{"EmptyEntryKillsEmptyText", {""}, "", true},
                      MatchCase{"NonEmptyEntryNeverInEmptyText", {"a"}, "", false},
                      MatchCase{"NoEntries", {}, "anything", false},
                      MatchCase{"NoEntriesEmptyText", {}, "", false},
                      MatchCase{"DuplicateEntries", {"dup", "dup", "DUP"}, "a Dup here", true},
                      MatchCase{"DuplicateEntriesNoMatch", {"dup", "dup"}, "d u p", false},
                      // Overlapping entries: the automaton must fall back along suffixes.
                      MatchCase{"SuffixOfAFailedLongerEntry", {"abcx", "bcd"}, "zabcd", true},
                      MatchCase{"ShortEntryInsideLongerOne", {"she", "he", "hers"}, "ushers", true},
                      MatchCase{"ShortEntryInsideLongerOneMissed", {"sheep", "hers"}, "ushe", false},
                      MatchCase{"EntryInsideAPartialLongerOne", {"abcd", "bc"}, "xabcx", true},
                      MatchCase{"EntryInsideAPartialLongerOneAtTheEnd", {"abcd", "c"}, "abc", true},
                      MatchCase{"RepeatedLetters", {"aab"}, "aaaaab", true},
                      MatchCase{"RepeatedLettersMissed", {"aab"}, "abababa", false},
                      // Bytes from 0x80 up are not case-folded by the ASCII rule.
                      MatchCase{"HighBytesCompareExactly", {"\xC4"}, "\xE4rger", false},
                      MatchCase{"HighBytesMatch", {"gr\xFC\xDF"}, "GR\xFC\xDF GOTT", true},
                      MatchCase{"PunctuationAroundLetters", {"[ab]"}, "x[AB]y", true},
                      MatchCase{"BracketDoesNotFoldToLetter", {"["}, "{", false}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.szName); });

TEST(KillMatcher, WorksFromAListAndCanBeRebuilt)
{
    std::list<std::string> entries{"alpha", "beta"};
    CKillMatcher matcher(entries);
    EXPECT_EQ(matcher.GetEntryCount(), 2u);
    EXPECT_TRUE(matcher.Matches("BETAMAX"));
    EXPECT_FALSE(matcher.Matches("gamma"));

    matcher.Build(std::vector<std::string>{"gam"});
    EXPECT_TRUE(matcher.Matches("gamma"));
    EXPECT_FALSE(matcher.Matches("BETAMAX"));

    matcher.Clear();
    EXPECT_TRUE(matcher.IsEmpty());
    EXPECT_FALSE(matcher.Matches("gamma"));
}

TEST(KillMatcher, ToLowerFoldsAsciiLettersOnly)
{
    EXPECT_EQ(CKillMatcher::ToLower("AbC-XyZ@[`{\xC4\xE4"), "abc-xyz@[`{\xC4\xE4");
}

// Random entries and texts over a small alphabet (so that matches are
// frequent, overlaps abound) with a few bytes outside ASCII; the matcher must
// agree with the plain rule on every text.
TEST(KillMatcher, AgreesWithThePlainRuleOnARandomCorpus)
{
    std::mt19937 rng(20260612u);
    const std::string strAlphabet = "abcdeABCDE .-_\xC4\xE4";
    auto randomText = [&](size_t nMin, size_t nMax)
    {
        std::uniform_int_distribution<size_t> length(nMin, nMax);
        std::uniform_int_distribution<size_t> letter(0, strAlphabet.size() - 1);
        std::string str(length(rng), ' ');
        for (char& c : str)
            c = strAlphabet[letter(rng)];
        return str;
    };

    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back(randomText(0, 40));

    size_t nKilled = 0;
    size_t nKept = 0;
    // Lists of very different sizes and entry lengths, so both answers occur.
    const struct
    {
        int nEntries;
        size_t nMin, nMax;
    } lists[] = {{1, 1, 3},   {3, 4, 6},    {20, 2, 5},    {30, 5, 8},
                 {100, 3, 7}, {300, 6, 10}, {1200, 7, 12}, {2000, 1, 12}};
    for (const auto& shape : lists)
    {
        // Random entries, pieces of texts (so that long entries occur too) and
        // pieces of earlier entries (an entry inside another one is what the
        // automaton's suffix links have to get right).
        std::vector<std::string> entries;
        std::uniform_int_distribution<int> kind(0, 2);
        for (int i = 0; i < shape.nEntries; ++i)
        {
            const int nKind = i == 0 ? 0 : kind(rng);
            std::string strFrom;
            if (nKind == 1)
                strFrom = texts[static_cast<size_t>(i) % texts.size()];
            else if (nKind == 2)
                strFrom = entries[static_cast<size_t>(i) / 2];
            if (strFrom.empty() || strFrom.size() < shape.nMin)
            {
                entries.push_back(randomText(shape.nMin, shape.nMax));
                continue;
            }
            std::uniform_int_distribution<size_t> length(shape.nMin, std::min(shape.nMax, strFrom.size()));
            const size_t nLength = length(rng);
            std::uniform_int_distribution<size_t> start(0, strFrom.size() - nLength);
            entries.push_back(strFrom.substr(start(rng), nLength));
        }
        // Duplicates on purpose.
        entries.push_back(entries.front());
        CKillMatcher matcher(entries);
        std::vector<std::string> lowerEntries;
        for (const std::string& entry : entries)
            lowerEntries.push_back(CLower(entry));
        for (const std::string& strText : texts)
        {
            const bool bExpected = PlainRuleLowered(lowerEntries, strText);
            ASSERT_EQ(matcher.Matches(strText), bExpected)
                << "entries " << shape.nEntries << ", text \"" << strText << "\"";
            (bExpected ? nKilled : nKept)++;
        }
    }
    EXPECT_GT(nKilled, 1000u);
    EXPECT_GT(nKept, 1000u);
}

} // namespace
