#include "listing/NewsGuyParser.h"
#include "listing/LineSource.h"

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
    std::string strLink =
        "<td><a href=\"http://dl.newsguy.com/news-bin/wwwdecode?g=alt.test&a=1\">(1.5K)</a></td>";
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
    const CArticle& a = *articles[0];
    EXPECT_EQ(a.m_strSubject, "Some post - file.rar (1/5)");
    EXPECT_EQ(a.m_strFileName, "file.rar ");
    EXPECT_EQ(a.m_strDate, "05/06");
    EXPECT_EQ(a.m_strAuthor, "joe@example.com");
    EXPECT_EQ(a.m_strDecodeQuery, "g=alt.test&a=1");
    EXPECT_EQ(a.m_nSize, 1500);
    EXPECT_EQ(a.m_nState, StateListed);
    EXPECT_EQ(a.m_nService, 2);
    EXPECT_EQ(a.m_nLists, ListArticles);
    EXPECT_EQ(a.m_nRetries, 0);
    EXPECT_TRUE(a.m_strDownloadPath.empty());
}

struct SizeCase
{
    const char* pszSize;
    int32_t nExpected;
};

class NewsGuySize : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(NewsGuySize, SizeTextGivesBytes)
{
    CEntry entry;
    entry.strLink =
        std::string("<td><a href=\"http://h/news-bin/wwwdecode?q\">(") + GetParam().pszSize + ")</a></td>";
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_nSize, GetParam().nExpected);
    // The article field is 32 bits wide; larger sizes stop at its maximum.
    EXPECT_EQ(std::min<int64_t>(CNewsGuyParser::ParseSize(GetParam().pszSize), INT32_MAX),
              GetParam().nExpected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, NewsGuySize,
                         ::testing::Values(SizeCase{"1.5K", 1500}, SizeCase{"2.35M", 2350000},
                                           SizeCase{"0.9K", 900}, SizeCase{"512B", 512}, SizeCase{"15K", 15000},
                                           SizeCase{"1.15M", 1150000}, SizeCase{"3M", 3000000},
                                           SizeCase{"1.9999G", 1999900000}, SizeCase{"99999.9M", 2147483647},
                                           SizeCase{"", 0}));

struct MarkCase
{
    const char* pszMark;
    int32_t nState;
};

class NewsGuyCompleteness : public ::testing::TestWithParam<MarkCase>
{
};

TEST_P(NewsGuyCompleteness, MarkGivesState)
{
    CEntry entry;
    entry.strFirst = std::string("BatchLink('a1','Subject',") + GetParam().pszMark + ",'x');";
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_nState, GetParam().nState);
}

INSTANTIATE_TEST_SUITE_P(Marks, NewsGuyCompleteness,
                         ::testing::Values(MarkCase{" 0 ", StateListed}, MarkCase{"0", StateListed},
                                           MarkCase{"1", StateIncomplete}, MarkCase{"00", StateIncomplete},
                                           MarkCase{" 1 ", StateIncomplete}, MarkCase{"", StateIncomplete}));

struct SubjectCase
{
    const char* pszName;
    const char* pszFirst; // the BatchLink line
    const char* pszSubject;
    const char* pszFileName;
};

class NewsGuySubject : public ::testing::TestWithParam<SubjectCase>
{
};

TEST_P(NewsGuySubject, SubjectAndFileName)
{
    CEntry entry;
    entry.strFirst = GetParam().pszFirst;
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strSubject, GetParam().pszSubject);
    EXPECT_EQ(pArticle->m_strFileName, GetParam().pszFileName);
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, NewsGuySubject,
    ::testing::Values(
        SubjectCase{"EscapedQuote", "BatchLink('a1','Joe\\'s file', 0 ,'x');", "Joe's file", ""},
        SubjectCase{"YEnc", "BatchLink('a1','Post - \"file.rar\" yEnc (1/5)', 0 ,'x');",
                    "Post - \"file.rar\" yEnc (1/5)", "file.rar"},
        SubjectCase{"QuotedWithoutYEnc", "BatchLink('a1','Post - \"file.rar\" (1/5)', 0 ,'x');",
                    "Post - \"file.rar\" (1/5)", "\"file.rar\" "},
        SubjectCase{"QuoteBeforeLastDash", "BatchLink('a1','\"a.rar\" yEnc - part (1/5)', 0 ,'x');",
                    "\"a.rar\" yEnc - part (1/5)", "part "},
        SubjectCase{"DashWithoutParen", "BatchLink('a1','Holiday - beach.jpg', 0 ,'x');",
                    "Holiday - beach.jpg", "beach.jpg"},
        SubjectCase{"ParenBeforeDash", "BatchLink('a1','(1/2) pics - beach.jpg', 0 ,'x');",
                    "(1/2) pics - beach.jpg", "beach.jpg"},
        SubjectCase{"NoDash", "BatchLink('a1','just words', 0 ,'x');", "just words", ""},
        SubjectCase{"QuestionMarks", "BatchLink('a1','????? - \"movie.avi\" yEnc (1/9)', 0 ,'x');",
                    "movie.avi - \"movie.avi\" yEnc (1/9)", "movie.avi"},
        SubjectCase{"BracketMarkerKept", "BatchLink('a1','(???] x - \"a.bin\" yEnc', 0 ,'x');",
                    "(???] x - \"a.bin\" yEnc", "a.bin"},
        SubjectCase{"SubjectEntities",
                    "BatchLink('a1','a &amp;amp; b &amp;lt;c&amp;gt; &quot;q&quot; &amp; d', 0 ,'x');",
                    "a & b <c> \"q\" &amp; d", ""},
        SubjectCase{"DoubleEscapedQuoteInYEnc", "BatchLink('a1','It\\'s - \"x.zip\" yEnc', 0 ,'x');",
                    "It's - \"x.zip\" yEnc", "x.zip"}),
    [](const auto& info) { return std::string(info.param.pszName); });

struct AuthorCase
{
    const char* pszName;
    const char* pszLine;
    const char* pszAuthor;
};

class NewsGuyAuthor : public ::testing::TestWithParam<AuthorCase>
{
};

TEST_P(NewsGuyAuthor, AuthorDecoded)
{
    CEntry entry;
    entry.strAuthor = GetParam().pszLine;
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strAuthor, GetParam().pszAuthor);
}

INSTANTIATE_TEST_SUITE_P(
    Authors, NewsGuyAuthor,
    ::testing::Values(AuthorCase{"Plain", "<a title=\"joe\">j</a>", "joe"},
                      AuthorCase{"DoublyEscaped", "<a title=\"Joe &amp;lt;joe@x&amp;gt;\">j</a>",
                                 "Joe <joe@x>"},
                      AuthorCase{"Escaped", "<a title=\"Joe &lt;joe@x&gt; &quot;J&quot; A&amp;B\">j</a>",
                                 "Joe <joe@x> \"J\" A&B"},
                      AuthorCase{"QuoteInside", "<a title=\"say \"hi\" there\">j</a>", "say \"hi\" there"},
                      AuthorCase{"NoTitle", "<a>j</a>", ""}),
    [](const auto& info) { return std::string(info.param.pszName); });

struct DateCase
{
    const char* pszLine;
    const char* pszDate;
};

class NewsGuyDate : public ::testing::TestWithParam<DateCase>
{
};

TEST_P(NewsGuyDate, DateFromFourthLine)
{
    CEntry entry;
    entry.strDate = GetParam().pszLine;
    auto pArticle = ParseOne(entry);
    ASSERT_TRUE(pArticle);
    EXPECT_EQ(pArticle->m_strDate, GetParam().pszDate);
}

INSTANTIATE_TEST_SUITE_P(Dates, NewsGuyDate,
                         ::testing::Values(DateCase{"<td>05/06</td>", "05/06"},
                                           DateCase{"<td><b>12/31</b></td>", ""},
                                           DateCase{"<td align=left>01/02</td>", "01/02"},
                                           DateCase{"12/31</td>", "12/31"}, DateCase{"no bracket", ""}));

TEST(NewsGuyParser, LinkLineChoice)
{
    // The line after the author has no decode link: the next line is the link line.
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

    // A whole link on the first line is taken and the line after it closes the entry.
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

class StripFontTags : public ::testing::TestWithParam<FontCase>
{
};

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
