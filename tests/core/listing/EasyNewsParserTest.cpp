#include "listing/EasyNewsParser.h"

#include "support/Articles.h"
#include "support/PartCase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace
{
// One part of a line and what it gives: the size for a size text, the decode
// query for a link, subject and file name for a link text.
enum Part
{
    Size,
    Link,
    Subject
};

std::string Line(const std::string& strAuthor, const std::string& strHref, const std::string& strText)
{
    std::string s = "<tr><td>";
    if (!strAuthor.empty())
        s = strAuthor + "<br>";
    return s + "<input type=\"checkbox\" name=\"x\"> <a href=\"" + strHref + "\">" + strText + "</a></td>";
}
} // namespace

using E = testsupport::CPartCase<Part>;
using EasyNewsLine = testsupport::CPartTable<Part>;

TEST_P(EasyNewsLine, PartGivesField)
{
    const E& c = GetParam();
    const std::string strText(c.pszText);
    CEasyNewsParser parser("05/06");
    auto pArticle = parser.ParseLine(Line("a", c.nPart == Link ? strText : "/d",
                                          c.nPart == Size   ? "some - " + strText
                                          : c.nPart == Link ? "s - 1 KB"
                                                            : strText));
    ASSERT_TRUE(pArticle);
    if (c.nPart == Size)
    {
        EXPECT_EQ(std::to_string(pArticle->m_nSize), c.strExpected);
        EXPECT_EQ(std::to_string(CEasyNewsParser::ParseSize(strText)), c.strExpected);
    }
    else if (c.nPart == Link)
        EXPECT_EQ(pArticle->m_strDecodeQuery, c.strExpected);
    else
        EXPECT_EQ(pArticle->m_strSubject + "|" + pArticle->m_strFileName, c.strExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, EasyNewsLine,
    ::testing::Values(
        E{Size, "12.3 MB", "12300000"}, E{Size, "850 KB", "850000"}, E{Size, "0 KB", "1000"},
        E{Size, "512 B", "512"}, E{Size, "1.25 KB", "1250"}, E{Size, "0 B", "1"}, E{Size, "7 MB", "7000000"},
        E{Size, "32.8 KB", "32800"}, E{Size, "1.5 GB", "1500000000"}, E{Size, "0.0 KB", "0"},
        E{Link, "/d/x.rar", "/d/x.rar"}, E{Link, "http://members.easynews.com/d/x.rar?a=1", "/d/x.rar?a=1"},
        E{Link, "http://127.0.0.1:81/dl/g/1/x.rar", "/dl/g/1/x.rar"},
        E{Link, "javascript:warnexe('/d/x.rar');", "/d/x.rar"},
        E{Link, "javascript:warnexe('http://h/d/x.exe');", "/d/x.exe"},
        E{Subject, "Some thing - 1.2 MB", "Some thing - 1.2 MB|1.2 MB"},
        E{Subject, "\"a\" b - \"file.rar\" yEnc - 1 MB", "\"a\" b - \"file.rar\" yEnc - 1 MB|a"},
        E{Subject, "\"file.rar\" yEnc (1/5) - 850 KB", "\"file.rar\" yEnc (1/5) - 850 KB|file.rar"},
        E{Subject, "pics - a.jpg (1/2)", "pics - a.jpg (1/2)|a.jpg "}, E{Subject, "x512 B", "x512 B|512 B"},
        E{Subject, "a &amp;lt; &lt;b&gt; - 1 KB", "a < <b> - 1 KB|1 KB"},
        E{Subject, "?????? \"m.avi\" yEnc - 1 MB", "m.avi  \"m.avi\" yEnc - 1 MB|m.avi"}));

TEST(EasyNewsParser, AuthorCarriesOverWithinAPage)
{
    CEasyNewsParser parser("05/06");
    EXPECT_FALSE(parser.ParseLine("<tr><td>no checkbox here <a href=\"/d\">x</a>"));
    auto p1 = parser.ParseLine(Line("", "/d/1", "one - 1 KB"));
    auto p2 = parser.ParseLine(Line("Ann &lt;ann@x&gt;", "/d/2", "two - 1 KB"));
    auto p3 = parser.ParseLine(Line("", "/d/3", "three - 1 KB"));
    auto p4 = parser.ParseLine(Line("Bob", "/d/4", "four - 1 KB"));
    ASSERT_TRUE(p1 && p2 && p3 && p4);
    EXPECT_EQ(p1->m_strAuthor + "|" + p2->m_strAuthor + "|" + p4->m_strAuthor, "|Ann <ann@x>|Bob");
    EXPECT_EQ(testsupport::Fields(*p3), "-1 0 16 1000|Ann <ann@x>|05/06||1 KB|three - 1 KB|/d/3");
    EXPECT_EQ(p3->m_nLists, ListArticles);
    // A "<br>" after the link does not name an author.
    auto p5 = parser.ParseLine("<input type=checkbox><a href=\"/d/5\">five - 1 KB</a><br>");
    ASSERT_TRUE(p5);
    EXPECT_EQ(p5->m_strAuthor, "Bob");
    // A new page starts without an author.
    CEasyNewsParser next("05/05");
    auto p6 = next.ParseLine(Line("", "/d/6", "six - 1 KB"));
    ASSERT_TRUE(p6);
    EXPECT_EQ(p6->m_strAuthor, "");
}

struct PageCase
{
    const char* pszObject;
    int nPage;
    const char* pszNext;
};

using EasyNewsPaging = ::testing::TestWithParam<PageCase>;

TEST_P(EasyNewsPaging, NextPageObject)
{
    EXPECT_EQ(CEasyNewsParser::NextPageObject(GetParam().pszObject, GetParam().nPage), GetParam().pszNext);
}

INSTANTIATE_TEST_SUITE_P(Pages, EasyNewsPaging,
                         ::testing::Values(PageCase{"/g/alt.test/0-1.html", 3, "/g/alt.test/3-1.html"},
                                           PageCase{"/g/alt.test/0-1.html", 1, "/g/alt.test/1-1.html"},
                                           PageCase{"/g/alt.test/9-1.html", 10, "/g/alt.test/10-1.html"},
                                           PageCase{"/g/alt.test/10-1.html", 11, "/g/alt.test/11-1.html"},
                                           PageCase{"/g/alt-test/0.html", 2, "/g/alt-test/2.html"},
                                           PageCase{"/g/a/page.html", 4, "/g/a/4age.html"},
                                           PageCase{"/g/a/-1.html", 5, "/g/a/51.html"}));

TEST(EasyNewsParser, ObjectOfFinalAddress)
{
    EXPECT_EQ(CEasyNewsParser::ObjectOfUrl("http://members.easynews.com/g/alt.test/0-1.html"),
              "/g/alt.test/0-1.html");
    EXPECT_EQ(CEasyNewsParser::ObjectOfUrl("http://127.0.0.1:81/g/alt.test/0-1.html"),
              "/g/alt.test/0-1.html");
    EXPECT_EQ(CEasyNewsParser::ObjectOfUrl("http://h"), "/");
}

TEST(EasyNewsParser, PageDatesCountDaysBack)
{
    const std::time_t t = testsupport::LocalTime(2026, 3, 3, 0, 30);
    EXPECT_EQ(CEasyNewsParser::PageDate(t, 0), "03/03");
    EXPECT_EQ(CEasyNewsParser::PageDate(t, 3), "02/28");
    EXPECT_EQ(CEasyNewsParser::PageDate(t, 63), "12/30");
}
