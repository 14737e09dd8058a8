// From an NNTP overview to posted files: the subject shapes, the overview
// line, and the grouping of parts that arrive in any order.

#include "posts/PostGrouper.h"
#include "posts/SubjectShape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>

using namespace usenet;

namespace
{
TEST(SubjectShapeTest, CounterNameAndKey)
{
    const struct
    {
        const char* pszSubject;
        int nPart, nTotal;
        const char* pszName;
        bool bYenc;
    } cases[] = {
        {"[3/12] - \"name.part03.rar\" yEnc (17/50)", 17, 50, "name.part03.rar", true},
        {"\"name.ext\" yEnc (1/7)", 1, 7, "name.ext", true},
        {"Some text - name.ext (5/20)", 5, 20, "name.ext", false},
        {"name.ext (1/1)", 1, 1, "name.ext", false},
        {"name.ext yEnc (2/3)", 2, 3, "name.ext", true},
        {"\"a (1/2).rar\" yEnc (3/4)", 3, 4, "a (1/2).rar", true},         // the last parentheses count
        {"\"x.bin\" yEnc (3/5) 12.3 MB", 3, 5, "x.bin", true},             // text after the counter
        {"Set (2 of 3) - \"x.rar\" yEnc (1/9)", 1, 9, "x.rar", true},
        {"\"x.nfo\" yEnc (0/5)", 0, 0, "x.nfo", true},                     // a set's description post
        {"\"x.bin\" yEnc (7/5)", 0, 0, "x.bin", true},                     // no such part
        {"\"x.bin\" yEnc (a/5)", 0, 0, "x.bin", true},
        {"\"x.bin\" yEnc (1234567890/1234567891)", 0, 0, "x.bin", true}, // beyond any count
        {"Read me first", 0, 0, "Read me first", false},
    };
    for (const auto& c : cases)
    {
        const SSubjectShape shape = ParseSubjectShape(c.pszSubject);
        EXPECT_EQ(shape.m_nPart, c.nPart) << c.pszSubject;
        EXPECT_EQ(shape.m_nTotal, c.nTotal) << c.pszSubject;
        EXPECT_EQ(shape.m_strName, c.pszName) << c.pszSubject;
        EXPECT_EQ(shape.m_bYenc, c.bYenc) << c.pszSubject;
    }
    // The parts of one file share the key; another file or another count does not.
    const std::string strKey = ParseSubjectShape("[1/2] - \"a.rar\" yEnc (1/9)").m_strKey;
    EXPECT_EQ(ParseSubjectShape("[1/2] - \"a.rar\" yEnc (9/9)").m_strKey, strKey);
    for (const char* pszOther : {"[1/2] - \"a.rar\" yEnc (1/8)", "[2/2] - \"a.rar\" yEnc (1/9)",
                                 "[1/2] - \"b.rar\" yEnc (1/9)", "[1/2] - \"a.rar\" yEnc"})
        EXPECT_NE(ParseSubjectShape(pszOther).m_strKey, strKey) << pszOther;
}

TEST(OverviewLineTest, FieldsOfOneLine)
{
    const struct
    {
        const char* pszLine;
        bool bOk;
        long long nNumber, nBytes;
        const char* pszSubject;
        const char* pszId;
    } cases[] = {
        {"17\tSubj (1/2)\tme@x\tTue, 14 Nov 2023 22:13:20 +0000\t<a@b>\t\t31000\t240\r\n", true, 17, 31000,
         "Subj (1/2)", "<a@b>"},
        {"18\tS\tme\tdate\t<c@d>\t<ref@x>\tBytes: 512\t4\tXref: x", true, 18, 512, "S", "<c@d>"},
        {"19\tS\tme\tdate\t<e@f>", true, 19, 0, "S", "<e@f>"}, // no counts
        {"20\tS\tme\tdate\t\t\t10\t1", false, 20, 10, "S", ""},  // no message-id
        {"x\tS\tme\tdate\t<g@h>\t\t10\t1", false, 0, 10, "S", "<g@h>"},
        {"", false, 0, 0, "", ""},
    };
    for (const auto& c : cases)
    {
        SOverviewPost post;
        EXPECT_EQ(ParseOverviewLine(c.pszLine, post), c.bOk) << c.pszLine;
        if (!c.bOk)
            continue;
        EXPECT_EQ(post.m_nNumber, c.nNumber);
        EXPECT_EQ(post.m_nBytes, c.nBytes);
        EXPECT_EQ(post.m_strSubject, c.pszSubject);
        EXPECT_EQ(post.m_strMessageId, c.pszId);
    }
}

struct SPosts
{
    std::deque<std::string> m_vecText; // keeps the views alive: a deque never moves its strings
    std::vector<SOverviewPost> m_vecPosts;
    void Add(long long nNumber, const std::string& strSubject, const std::string& strFrom, const std::string& strId,
             long long nBytes = 10400, const std::string& strDate = "date")
    {
        for (const std::string* p : {&strSubject, &strFrom, &strId, &strDate})
            m_vecText.push_back(*p);
        const size_t n = m_vecText.size();
        m_vecPosts.push_back({nNumber, m_vecText[n - 4], m_vecText[n - 3], m_vecText[n - 1], m_vecText[n - 2], nBytes});
    }
};

TEST(PostGrouperTest, PartsBecomeFiles)
{
    SPosts posts;
    posts.Add(1, "\"a.rar\" yEnc (3/3)", "ann", "<a3@x>");
    posts.Add(2, "Read me", "mod", "<t@x>", 900);
    posts.Add(3, "\"a.rar\" yEnc (1/3)", "ann", "<a1@x>", 10400, "day one");
    posts.Add(4, "\"a.rar\" yEnc (1/3)", "bob", "<b1@x>");  // another poster: another file
    posts.Add(5, "\"a.rar\" yEnc (1/3)", "ann", "<again@x>"); // posted twice: the first copy serves
    posts.Add(6, "\"c.bin\" yEnc (1/4)", "ann", "<c1@x>");
    posts.Add(7, "\"a.rar\" yEnc (2/3)", "ann", "<a2@x>");
    posts.Add(8, "\"c.bin\" yEnc (3/4)", "ann", "<c3@x>");
    posts.Add(9, "\"d.nfo\" yEnc (1/1)", "ann", "<d1@x>");
    std::vector<SPostedFile> files;
    CPostGrouper grouper([&](SPostedFile&& file) { files.push_back(std::move(file)); });
    for (const SOverviewPost& post : posts.m_vecPosts)
        grouper.Add(post);
    ASSERT_EQ(files.size(), 3u); // the text, a.rar when its last part came, d.nfo
    EXPECT_EQ(files[0].m_strSubject, "Read me");
    EXPECT_FALSE(files[0].m_bYenc || files[0].m_bCounter);
    const SPostedFile& a = files[1];
    EXPECT_TRUE(a.IsComplete());
    EXPECT_EQ(a.m_strPoster, "ann");
    EXPECT_EQ(a.m_strDate, "day one"); // the first part's
    EXPECT_EQ(a.m_strName, "a.rar");
    EXPECT_EQ(a.ListedSubject(), "\"a.rar\" yEnc (3/3)");
    EXPECT_EQ(a.m_nFirstNumber, 1);
    EXPECT_EQ(a.DecodeQuery("alt.x").m_vecSegments,
              (std::vector<SSegmentRef>{{1, "a1@x"}, {2, "a2@x"}, {3, "a3@x"}}));
    // Three parts of 10400 bytes: 10000 encoded each, 2% of it yEnc's.
    EXPECT_NEAR(static_cast<double>(a.EstimatedSize()), 3 * 10000 / 1.0315, 1.0);
    EXPECT_EQ(files[2].m_strName, "d.nfo");
    EXPECT_TRUE(files[2].IsComplete());

    grouper.Finish();
    ASSERT_EQ(files.size(), 5u); // bob's a.rar, then c.bin, by their first numbers
    EXPECT_EQ(files[3].m_strPoster, "bob");
    const SPostedFile& c = files[4];
    EXPECT_FALSE(c.IsComplete());
    EXPECT_EQ(c.ListedSubject(), "\"c.bin\" yEnc (2/4)");
    const CDecodeQuery query = c.DecodeQuery("alt.x");
    EXPECT_EQ(query.GetMissing(), (std::vector<int>{2, 4}));
    EXPECT_EQ(grouper.GetOpenCount(), 0u);
}

// Parts of many files, shuffled across neighbouring files: every file comes
// out complete, and only the files of the current stretch are ever open.
// One that misses a part is let go once the stretch has moved on.
TEST(PostGrouperTest, ShuffledStreamStaysSmall)
{
    constexpr int kFiles = 20000, kParts = 5, kSpread = 16;
    SPosts posts;
    std::vector<std::pair<int, int>> order;
    std::mt19937 random(7);
    for (int nBlock = 0; nBlock < kFiles / kSpread; ++nBlock)
    {
        std::vector<std::pair<int, int>> block;
        for (int f = nBlock * kSpread; f < (nBlock + 1) * kSpread; ++f)
            for (int p = 1; p <= kParts; ++p)
                if (f != 77 || p != 3)
                    block.emplace_back(f, p);
        std::shuffle(block.begin(), block.end(), random);
        order.insert(order.end(), block.begin(), block.end());
    }
    long long nNumber = 0;
    for (const auto& [f, p] : order)
        posts.Add(++nNumber, "\"f" + std::to_string(f) + ".bin\" yEnc (" + std::to_string(p) + "/5)", "poster",
                  "<" + std::to_string(f) + "." + std::to_string(p) + "@x>");
    size_t nMaxOpen = 0;
    int nComplete = 0;
    long long nIncompleteAt = 0;
    CPostGrouper grouper(
        [&](SPostedFile&& file)
        {
            nComplete += file.IsComplete();
            if (!file.IsComplete())
                nIncompleteAt = nNumber;
        },
        1000);
    nNumber = 0;
    for (const SOverviewPost& post : posts.m_vecPosts)
    {
        nNumber = post.m_nNumber;
        grouper.Add(post);
        nMaxOpen = std::max(nMaxOpen, grouper.GetOpenCount());
    }
    grouper.Finish();
    EXPECT_EQ(nComplete, kFiles - 1);
    EXPECT_LE(nMaxOpen, static_cast<size_t>(2 * kSpread + 1000 / kParts));
    EXPECT_GT(nIncompleteAt, 0) << "the file with a hole waited for the end";
    EXPECT_LT(nIncompleteAt, 78 * kParts + 2000);
}
} // namespace
