#include "listing/NewsGuyParser.h"
#include "listing/LineSource.h"

#include "support/Articles.h"
#include "support/PartCase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace
{
struct CCollect : IListingSink
{
    void OnArticle(ArticlePtr p) override { articles.push_back(std::move(p)); }
    void OnProgress(int n) override { progress.push_back(n); }
    void OnStatusLine(const std::string& s) override { status.push_back(s); }
    std::vector<ArticlePtr> articles;
    std::vector<int> progress;
    std::vector<std::string> status;
};

// The lines of one entry as the gateway writes them; each part can be varied.
struct CEntry
{
    std::string strFirst = "<script>BatchLink('a1','Some post - file.rar (1/5)', 0 ,'x');</script>";
    std::string strDate = "<td>05/06</td>";
    std::string strAuthor = "<td><a title=\"joe@example.com\">joe</a></td>";
    std::string strLink = "<td><a "
                          "href=\"http://dl.newsguy.com/news-bin/"
                          "wwwdecode?g=alt.test&a=1\">(1.5K)</a></td>";
    std::string strExtraLink; // a line before the link line
    std::string strLast = "<td><input type=\"checkbox\" name=\"a1\"></td>";

    std::string Page() const
    {
        std::string s = strFirst + "\n<tr>\n<td>x</td>\n<td>y</td>\n" + strDate + "\n" + strAuthor + "\n";
        if (!strExtraLink.empty())
            s += strExtraLink + "\n";
        return s + strLink + "\n" + strLast + "\n";
    }
};

std::vector<ArticlePtr> Parse(const std::string& strPage, CCollect* pCollect = nullptr, int32_t nService = 1)
{
    CCollect local;
    CCollect& sink = pCollect ? *pCollect : local;
    CStringLineSource source(strPage);
    CNewsGuyParser parser(nService);
    parser.ParsePage(source, sink);
    return sink.articles;
}

ArticlePtr ParseOne(const CEntry& entry)
{
    auto articles = Parse(entry.Page());
    return articles.size() == 1 ? articles[0] : nullptr;
}
} // namespace

TEST(NewsGuyParser, FieldsOfAPlainEntry)
{
    CEntry entry;
    auto articles = Parse("<html>\n" + entry.Page() + "</html>\n", nullptr, 2);
    ASSERT_EQ(articles.size(), 1u);
    // Listed (-1), no retries, service 2, 1500 bytes; no download folder yet.
    EXPECT_EQ(testsupport::Fields(*articles[0]),
              "-1 0 2 1500|joe@example.com|05/06||file.rar |Some post - file.rar (1/5)|g=alt.test&a=1");
    EXPECT_EQ(articles[0]->m_nLists, ListArticles);
}

// One part of the entry replaced, and what it gives: the subject, file name
// and state for a subject or a mark of the first line, the size for a size text.
enum Part
{
    Subject,
    Mark,
    Date,
    Author,
    Size
};

using E = testsupport::CPartCase<Part>;
using NewsGuyEntry = testsupport::CPartTable<Part>;

TEST_P(NewsGuyEntry, PartGivesField)
{
    const E& c = GetParam();
    const std::string strText = c.pszText;
    CEntry entry;
    if (c.nPart == Subject || c.nPart == Mark)
        entry.strFirst =
            "BatchLink('a1','" + (c.nPart == Subject ? strText + "', 0 " : "S'," + strText) + ",'x');";
    else if (c.nPart == Size)
        entry.strLink = "<td><a href=\"http://h/news-bin/wwwdecode?q\">(" + strText + ")</a></td>";
    else
        (c.nPart == Date ? entry.strDate : entry.strAuthor) = strText;
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    const CArticle& a = *pArticle;
    if (c.nPart == Subject || c.nPart == Mark)
        EXPECT_EQ(a.m_strSubject + "|" + a.m_strFileName + "|" + std::to_string(a.m_nState), c.strExpected);
    else if (c.nPart == Size)
    {
        EXPECT_EQ(std::to_string(a.m_nSize), c.strExpected);
        // The article field is 32 bits wide; larger sizes stop at its maximum.
        EXPECT_EQ(std::to_string(std::min<int64_t>(CNewsGuyParser::ParseSize(strText), INT32_MAX)),
                  c.strExpected);
    }
    else
        EXPECT_EQ(c.nPart == Date ? a.m_strDate : a.m_strAuthor, c.strExpected);
}

// Only a lone 0 marks a complete article; the author comes from the title,
// entities decoded once or twice; the date from the fourth line.
INSTANTIATE_TEST_SUITE_P(
    Parts, NewsGuyEntry,
    ::testing::Values(
        E{Size, "1.5K", "1500"}, E{Size, "2.35M", "2350000"}, E{Size, "0.9K", "900"}, E{Size, "512B", "512"},
        E{Size, "15K", "15000"}, E{Size, "1.15M", "1150000"}, E{Size, "3M", "3000000"},
        E{Size, "1.9999G", "1999900000"}, E{Size, "99999.9M", "2147483647"}, E{Size, "", "0"},
        E{Mark, " 0 ", "S||-1"}, E{Mark, "0", "S||-1"}, E{Mark, "1", "S||5"}, E{Mark, "00", "S||5"},
        E{Mark, " 1 ", "S||5"}, E{Mark, "", "S||5"}, E{Subject, "Joe\\'s file", "Joe's file||-1"},
        E{Subject, "Post - \"file.rar\" yEnc (1/5)", "Post - \"file.rar\" yEnc (1/5)|file.rar|-1"},
        E{Subject, "Post - \"file.rar\" (1/5)", "Post - \"file.rar\" (1/5)|\"file.rar\" |-1"},
        E{Subject, "\"a.rar\" yEnc - part (1/5)", "\"a.rar\" yEnc - part (1/5)|part |-1"},
        E{Subject, "Holiday - beach.jpg", "Holiday - beach.jpg|beach.jpg|-1"},
        E{Subject, "(1/2) pics - beach.jpg", "(1/2) pics - beach.jpg|beach.jpg|-1"},
        E{Subject, "just words", "just words||-1"},
        E{Subject, "????? - \"movie.avi\" yEnc (1/9)", "movie.avi - \"movie.avi\" yEnc (1/9)|movie.avi|-1"},
        E{Subject, "(???] x - \"a.bin\" yEnc", "(???] x - \"a.bin\" yEnc|a.bin|-1"},
        E{Subject, "a &amp;amp; b &amp;lt;c&amp;gt; &quot;q&quot; &amp; d", "a & b <c> \"q\" &amp; d||-1"},
        E{Subject, "It\\'s - \"x.zip\" yEnc", "It's - \"x.zip\" yEnc|x.zip|-1"},
        E{Author, "<a title=\"joe\">j</a>", "joe"},
        E{Author, "<a title=\"Joe &amp;lt;joe@x&amp;gt;\">j</a>", "Joe <joe@x>"},
        E{Author, "<a title=\"Joe &lt;joe@x&gt; &quot;J&quot; A&amp;B\">j</a>", "Joe <joe@x> \"J\" A&B"},
        E{Author, "<a title=\"say \"hi\" there\">j</a>", "say \"hi\" there"}, E{Author, "<a>j</a>", ""},
        E{Date, "<td>05/06</td>", "05/06"}, E{Date, "<td><b>12/31</b></td>", ""},
        E{Date, "<td align=left>01/02</td>", "01/02"}, E{Date, "12/31</td>", "12/31"},
        E{Date, "no bracket", ""}));

TEST(NewsGuyParser, LinkLineChoice)
{
    // The line after the author has no decode link: the next line is the link
    // line.
    CEntry entry;
    entry.strExtraLink = "<td>";
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strDecodeQuery, "g=alt.test&a=1");

    // A decode link without ")" on its line: the next line is the link line.
    entry.strExtraLink = "<a href=\"http://h/news-bin/wwwdecode?wrong\">";
    entry.strLink = "<a href=\"http://h/news-bin/wwwdecode?right\">(512B)</a>";
    pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strDecodeQuery, "right");
    EXPECT_EQ(pArticle->m_nSize, 512);

    // A whole link on the first line is taken and the line after it closes the
    // entry.
    CEntry whole;
    whole.strLink = "<a href=\"http://h:8080/news-bin/wwwdecode?x=1?y\">(15K)</a>";
    pArticle = ParseOne(whole);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strDecodeQuery, "x=1?y");
    EXPECT_EQ(pArticle->m_nSize, 15000);
}

TEST(NewsGuyParser, DroppedEntriesLeaveTheNextOneIntact)
{
    CEntry good;
    std::vector<std::string> bad = {
        "BatchLink(no quotes at all)",
        "BatchLink('only one quote)",
        "BatchLink('a1' no comma)",
        "BatchLink('a1','unterminated subject",
    };
    for (const auto& strFirst : bad)
    {
        CEntry broken;
        broken.strFirst = strFirst;
        // A broken first line drops only that line's entry; its other lines
        // are ordinary lines and the good entry after them is parsed.
        auto articles = Parse(broken.Page() + good.Page());
        ASSERT_EQ(articles.size(), 1u) << strFirst;
        EXPECT_EQ(articles[0]->m_strSubject, "Some post - file.rar (1/5)");
    }
    // No closing '">' on the last line (once the font tags are gone).
    CEntry noClose;
    noClose.strLast = "<td><font color=\"red\">x</font></td>";
    EXPECT_EQ(Parse(noClose.Page() + good.Page()).size(), 1u);
    // A link line without a '?' after the scheme.
    CEntry noQuery;
    noQuery.strLink = "<a href=\"http://h/x\">(1K)</a>";
    noQuery.strExtraLink = "<td>";
    EXPECT_TRUE(Parse(noQuery.Page()).empty());
}

TEST(NewsGuyParser, PageEndingInsideAnEntry)
{
    CEntry entry;
    std::string strPage = entry.Page() + entry.Page();
    std::string strCut =
        entry.Page() + entry.strFirst + "\n<tr>\n<td>x</td>\n<td>y</td>\n" + entry.strDate + "\n";
    EXPECT_EQ(Parse(strPage).size(), 2u);
    EXPECT_EQ(Parse(strCut).size(), 1u);
    // Without a final line feed the last line still counts.
    std::string strNoLf = strPage.substr(0, strPage.size() - 1);
    EXPECT_EQ(Parse(strNoLf).size(), 2u);
    // CR LF line ends parse the same.
    std::string strCrLf;
    for (char c : strPage)
    {
        if (c == '\n')
            strCrLf += '\r';
        strCrLf += c;
    }
    auto articles = Parse(strCrLf);
    ASSERT_EQ(articles.size(), 2u);
    EXPECT_EQ(articles[1]->m_strDecodeQuery, "g=alt.test&a=1");
    EXPECT_EQ(articles[1]->m_strFileName, "file.rar ");
}

TEST(NewsGuyParser, ProgressAndCannotAccess)
{
    CEntry entry;
    CCollect sink;
    std::string strPage = "<script>setProgress(40);</script>\n" + entry.Page() +
                          "setProgress( 75 )\nsetProgress(abc)\nsetProgress(12\n" +
                          "<h2>Cannot access Newsgroup.</h2>\n" + entry.Page();
    Parse(strPage, &sink);
    EXPECT_EQ(sink.progress, (std::vector<int>{40, 75, 0}));
    ASSERT_EQ(sink.status.size(), 1u);
    EXPECT_EQ(sink.status[0], "Cannot access Newsgroup.");
    EXPECT_EQ(sink.articles.size(), 1u); // reading stopped at the notice
}

struct FontCase
{
    const char* pszIn;
    const char* pszOut;
};

using StripFontTags = ::testing::TestWithParam<FontCase>;

TEST_P(StripFontTags, RemovesTags)
{
    std::string str = GetParam().pszIn;
    CNewsGuyParser::StripFontTags(str);
    EXPECT_EQ(str, GetParam().pszOut);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, StripFontTags,
    ::testing::Values(FontCase{"<font color=red>x</font>", "x"}, FontCase{"<FONT size=1>a</Font>b", "ab"},
                      FontCase{"a<font>b<font x>c</font></font>d", "abcd"}, FontCase{"<<font>font x>y", "y"},
                      FontCase{"keep <b>bold</b>", "keep <b>bold</b>"}, FontCase{"x<font color=\"red\"", "x"},
                      FontCase{"a</font b>c", "a</font b>c"}, FontCase{"\"><font>", "\">"},
                      FontCase{"", ""}));
