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
// lower-cased with the C library's tolower, a plain substring search (here
// with the entries already lower-cased).
bool PlainRuleLowered(const std::vector<std::string>& lowerEntries, const std::string& strText)
{
    const std::string strLower = CLower(strText);
    for (const std::string& entry : lowerEntries)
        if (strLower.find(entry) != std::string::npos)
            return true;
    return false;
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

using KillMatcherRules = ::testing::TestWithParam<MatchCase>;

TEST_P(KillMatcherRules, MatchesAsThePlainRule)
{
    const MatchCase& c = GetParam();
    CKillMatcher matcher(c.entries);
    EXPECT_EQ(matcher.Matches(c.strText), c.bKilled);
}

// Overlapping entries make the automaton fall back along suffixes; bytes from
// 0x80 up are not case-folded by the ASCII rule.
using M = MatchCase;
INSTANTIATE_TEST_SUITE_P(
    Cases, KillMatcherRules,
    ::testing::Values(M{"MixedCaseEntryKillsAnyCase", {"xYz"}, "XYZ123", true},
                      M{"LowerEntryUpperAuthor", {"xyz"}, "poster XYZ123@example.org", true},
                      M{"PartOfAWord", {"tion"}, "Compilation (3/7)", true},
                      M{"NoMatch", {"spam", "ham"}, "Holiday pictures", false},
                      M{"EntryLongerThanText", {"abcdef"}, "abcde", false},
                      M{"EntryAtTheEnd", {"rar"}, "file.part01.RAR", true},
                      M{"EntryIsTheWholeText", {"Exact"}, "exact", true},
                      M{"EmptyEntryKillsEverything", {"zzz", ""}, "anything", true},
                      M{"EmptyEntryKillsEmptyText", {""}, "", true},
                      M{"NonEmptyEntryNeverInEmptyText", {"a"}, "", false},
                      M{"NoEntries", {}, "anything", false}, M{"NoEntriesEmptyText", {}, "", false},
                      M{"DuplicateEntries", {"dup", "dup", "DUP"}, "a Dup here", true},
                      M{"DuplicateEntriesNoMatch", {"dup", "dup"}, "d u p", false},
                      M{"SuffixOfAFailedLongerEntry", {"abcx", "bcd"}, "zabcd", true},
                      M{"ShortEntryInsideLongerOne", {"she", "he", "hers"}, "ushers", true},
                      M{"ShortEntryInsideLongerOneMissed", {"sheep", "hers"}, "ushe", false},
                      M{"EntryInsideAPartialLongerOne", {"abcd", "bc"}, "xabcx", true},
                      M{"EntryInsideAPartialLongerOneAtTheEnd", {"abcd", "c"}, "abc", true},
                      M{"RepeatedLetters", {"aab"}, "aaaaab", true},
                      M{"RepeatedLettersMissed", {"aab"}, "abababa", false},
                      M{"HighBytesCompareExactly", {"\xC4"}, "\xE4rger", false},
                      M{"HighBytesMatch", {"gr\xFC\xDF"}, "GR\xFC\xDF GOTT", true},
                      M{"PunctuationAroundLetters", {"[ab]"}, "x[AB]y", true},
                      M{"BracketDoesNotFoldToLetter", {"["}, "{", false}),
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
    EXPECT_EQ(CKillMatcher::ToLower("AbC-XyZ@[`{\xC4\xE4"), "abc-xyz@[`{\xC4\xE4");
}

// Random entries and texts over a small alphabet (so that matches are
// frequent, overlaps abound) with a few bytes outside ASCII; entries are also
// pieces of texts and of earlier entries (an entry inside another is what the
// automaton's suffix links must get right). The matcher must agree with the
// plain rule on every text.
TEST(KillMatcher, AgreesWithThePlainRuleOnARandomCorpus)
{
    std::mt19937 rng(20260612u);
    const std::string strAlphabet = "abcdeABCDE .-_\xC4\xE4";
    auto pick = [&](size_t nMin, size_t nMax)
    { return std::uniform_int_distribution<size_t>(nMin, nMax)(rng); };
    auto randomText = [&](size_t nMin, size_t nMax)
    {
        std::string str(pick(nMin, nMax), ' ');
        for (char& c : str)
            c = strAlphabet[pick(0, strAlphabet.size() - 1)];
        return str;
    };
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back(randomText(0, 40));

    size_t nKilled = 0;
    size_t nKept = 0;
    const struct
    {
        size_t nEntries, nMin, nMax;
    } shapes[] = {{1, 1, 3},   {3, 4, 6},    {20, 2, 5},    {30, 5, 8},
                  {100, 3, 7}, {300, 6, 10}, {1200, 7, 12}, {2000, 1, 12}};
    for (const auto& shape : shapes)
    {
        std::vector<std::string> entries{randomText(shape.nMin, shape.nMax)};
        while (entries.size() < shape.nEntries)
        {
            const std::string& strFrom = pick(0, 1) ? texts[entries.size()] : entries[entries.size() / 2];
            if (strFrom.size() < shape.nMin)
                entries.push_back(randomText(shape.nMin, shape.nMax));
            else
            {
                const size_t nLength = pick(shape.nMin, std::min(shape.nMax, strFrom.size()));
                entries.push_back(strFrom.substr(pick(0, strFrom.size() - nLength), nLength));
            }
        }
        entries.push_back(entries.front()); // a duplicate on purpose
        CKillMatcher matcher(entries);
        for (std::string& entry : entries)
            entry = CLower(entry);
        for (const std::string& strText : texts)
        {
            const bool bExpected = PlainRuleLowered(entries, strText);
            ASSERT_EQ(matcher.Matches(strText), bExpected)
                << shape.nEntries << " entries, text \"" << strText << "\"";
            (bExpected ? nKilled : nKept)++;
        }
    }
    EXPECT_GT(nKilled, 1000u);
    EXPECT_GT(nKept, 1000u);
}

} // namespace
