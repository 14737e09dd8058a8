// The listing pages carry the markers at the line positions Dravelin's
// parsers read; these tests walk the pages with those positions.

#include "GatewayFetch.h"
#include "gateway/GatewaySimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace
{
CGatewayOptions SmallCorpus(uint64_t nKey = 7)
{
    CGatewayOptions options;
    options.m_nCorpusKey = nKey;
    options.m_nArticles = 60;
    options.m_nDays = 3;
    return options;
}

std::string StripFont(std::string str)
{
    for (const char* pszTag : {"<font", "</font>"})
    {
        size_t n;
        while ((n = str.find(pszTag)) != std::string::npos)
        {
            const size_t nClose = str.find('>', n);
            str.erase(n, nClose == std::string::npos ? std::string::npos : nClose - n + 1);
        }
    }
    return str;
}

// What one BatchLink entry says, read at the positions the NewsGuy parser uses.
struct CEntry
{
    std::string m_strSubject, m_strMark, m_strDate, m_strAuthor, m_strQuery, m_strSize;
    bool m_bClosed = false;
};

std::vector<CEntry> ReadEntries(const std::vector<std::string>& lines, std::vector<int>& progress)
{
    std::vector<CEntry> entries;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string& line = lines[i];
        if (line.find("setProgress(") != std::string::npos)
        {
            const size_t nOpen = line.find('(');
            progress.push_back(std::atoi(line.substr(nOpen + 1, line.find(')', nOpen) - nOpen - 1).c_str()));
            continue;
        }
        const size_t nQ1 = line.find('\'');
        if (line.find("BatchLink(") == std::string::npos || nQ1 == std::string::npos || i + 9 >= lines.size())
            continue;
        CEntry e;
        const size_t nQ2 = line.find('\'', nQ1 + 1);
        const size_t nComma = line.find(',', nQ2 + 1);
        // The subject runs to the first quote that no backslash escapes.
        size_t nEnd = nComma + 2;
        while ((nEnd = line.find('\'', nEnd)) != std::string::npos && line[nEnd - 1] == '\\')
            ++nEnd;
        e.m_strSubject = line.substr(nComma + 2, nEnd - nComma - 2);
        const size_t nMark = line.find(',', nEnd + 1) + 1;
        e.m_strMark = line.substr(nMark, line.find(',', nMark) - nMark);
        std::string strDate = lines[i + 4].substr(0, lines[i + 4].rfind('<'));
        e.m_strDate = strDate.substr(strDate.rfind('>') + 1);
        const std::string& author = lines[i + 5];
        const size_t nTitle = author.find("title=\"") + 7;
        e.m_strAuthor = author.substr(nTitle, author.find("\">", nTitle) - nTitle);
        size_t nLink = i + 6;
        if (lines[nLink].find("wwwdecode?") == std::string::npos || lines[nLink].find(')') == std::string::npos)
            ++nLink;
        const std::string& link = lines[nLink];
        const size_t nQuery = link.find('?', link.find("://") + 4) + 1;
        e.m_strQuery = link.substr(nQuery, link.find('"', nQuery) - nQuery);
        const std::string strCut = link.substr(0, link.rfind(')'));
        e.m_strSize = strCut.substr(strCut.rfind('(') + 1);
        e.m_bClosed = StripFont(lines[nLink + 1]).find("\">") != std::string::npos;
        entries.push_back(e);
    }
    return entries;
}
} // namespace

TEST(GatewayListing, NewsGuyEntriesSitAtTheParsersLinePositions)
{
    CGatewaySimulator sim(SmallCorpus());
    ASSERT_GT(sim.Start(), 0);
    const CGatewayFetch fetch = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::NewsGuyListTarget("alt.test"));
    ASSERT_EQ(fetch.m_nResult, CURLE_OK);
    EXPECT_EQ(fetch.m_nStatus, 200);

    std::vector<int> progress;
    const std::vector<CEntry> entries = ReadEntries(fetch.Lines(), progress);
    const std::vector<CGatewayArticle> articles = sim.Articles("alt.test");
    ASSERT_EQ(entries.size(), articles.size());
    std::set<std::string> marks, sizeUnits;
    size_t nAlternateLinkLines = 0;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        SCOPED_TRACE(articles[i].m_strSubject);
        EXPECT_EQ(entries[i].m_strSubject, articles[i].m_strSubjectHtml);
        EXPECT_EQ(entries[i].m_strMark, articles[i].m_strCompleteMark);
        EXPECT_EQ(entries[i].m_strDate, articles[i].m_strDate);
        EXPECT_EQ(entries[i].m_strAuthor, articles[i].m_strAuthorHtml);
        EXPECT_EQ(entries[i].m_strQuery, articles[i].m_strDecodeQuery);
        EXPECT_EQ(entries[i].m_strSize, articles[i].m_strSizeText);
        EXPECT_TRUE(entries[i].m_bClosed);
        marks.insert(entries[i].m_strMark);
        sizeUnits.insert(entries[i].m_strSize.substr(entries[i].m_strSize.size() - 1));
        nAlternateLinkLines += articles[i].m_nBodyKey % 4 >= 2;
    }
    // The corpus exercises every mark, every unit and the alternate link line.
    EXPECT_EQ(marks, (std::set<std::string>{"0", " 0 ", "1", "00"}));
    EXPECT_TRUE(sizeUnits.count("B") && sizeUnits.count("K"));
    EXPECT_GT(nAlternateLinkLines, 0u);
    ASSERT_GE(progress.size(), 10u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);

    const CGatewayFetch unknown = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::NewsGuyListTarget("no.such.group"));
    EXPECT_NE(unknown.m_strBody.find("<h2>Cannot access Newsgroup.</h2>"), std::string::npos);
    EXPECT_EQ(unknown.m_strBody.find("BatchLink('"), std::string::npos);
}

TEST(GatewayListing, EasyNewsRedirectsThenPagesByDayUntil404)
{
    CGatewaySimulator sim(SmallCorpus());
    ASSERT_GT(sim.Start(), 0);
    const CGatewayFetch group = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsGroupTarget("alt.test"));
    EXPECT_EQ(group.m_nStatus, 302);
    EXPECT_EQ(group.Header("Location"), sim.BaseUrl() + "/g/alt.test/0-1.html");

    std::map<int, int> linkForms;
    size_t nArticles = 0, nWithoutAuthor = 0;
    for (int nDay = 0; nDay < sim.DayCount("alt.test"); ++nDay)
    {
        const CGatewayFetch page = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsDayTarget("alt.test", nDay));
        ASSERT_EQ(page.m_nStatus, 200);
        const std::vector<CGatewayArticle> day = sim.DayArticles("alt.test", nDay);
        size_t nLine = 0;
        for (const std::string& line : page.Lines())
        {
            const size_t nInput = line.find("<input type");
            if (nInput == std::string::npos || line.find("checkbox") == std::string::npos)
                continue;
            ASSERT_LT(nLine, day.size());
            const CGatewayArticle& a = day[nLine++];
            const size_t nHref = line.find("<a href=", nInput);
            const size_t nBr = line.find("<br>");
            EXPECT_EQ(nBr < nHref ? line.substr(0, nBr) : std::string(), a.m_strEasyAuthorHtml);
            const size_t nClose = line.find('>', nHref + 9);
            std::string strTarget = line.substr(nHref + 9, nClose - 1 - (nHref + 9));
            if (strTarget.find("://") == 4)
                strTarget = strTarget.substr(strTarget.find('/', 8));
            if (strTarget.rfind("javascript:warnexe('", 0) == 0)
                strTarget = strTarget.substr(20, strTarget.size() - 23);
            EXPECT_EQ(strTarget, a.m_strEasyQuery);
            const std::string strSubject = line.substr(nClose + 1, line.find('<', nClose) - nClose - 1);
            EXPECT_EQ(strSubject, a.m_strEasySubjectHtml);
            EXPECT_EQ(strSubject.substr(strSubject.rfind('-') + 2), a.m_strEasySizeText);
            ++linkForms[a.m_nEasyLinkForm];
            nWithoutAuthor += a.m_strEasyAuthorHtml.empty();
        }
        EXPECT_EQ(nLine, day.size());
        nArticles += nLine;
    }
    EXPECT_EQ(nArticles, 60u);
    EXPECT_EQ(linkForms.size(), 3u);
    EXPECT_GT(nWithoutAuthor, 0u);
    const CGatewayFetch past = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsDayTarget("alt.test", 3));
    EXPECT_EQ(past.m_nStatus, 404);
    EXPECT_EQ(GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsDayTarget("no.such.group", 0)).m_nStatus, 404);
}

TEST(GatewayListing, OneKeyGivesTheSameCorpusInEveryInstance)
{
    CGatewaySimulator first(SmallCorpus(42)), second(SmallCorpus(42)), other(SmallCorpus(43));
    ASSERT_GT(first.Start(), 0);
    ASSERT_GT(second.Start(), 0);
    ASSERT_GT(other.Start(), 0);
    auto page = [](const CGatewaySimulator& sim, const std::string& strTarget) {
        std::string strBody = GatewayFetch(sim.BaseUrl() + strTarget).m_strBody;
        // Links name the serving host; everything else must match byte for byte.
        for (size_t n; (n = strBody.find(sim.HostPort())) != std::string::npos;)
            strBody.replace(n, sim.HostPort().size(), "HOST");
        return strBody;
    };
    for (const std::string& strTarget : {CGatewaySimulator::NewsGuyListTarget("alt.binaries.demo.music"),
                                         CGatewaySimulator::EasyNewsDayTarget("alt.test", 1)})
    {
        EXPECT_EQ(page(first, strTarget), page(second, strTarget));
        EXPECT_NE(page(first, strTarget), page(other, strTarget));
    }
    const CGatewayArticle a = first.Article("alt.test", 3);
    EXPECT_EQ(GatewayFetch(first.BaseUrl() + first.NewsGuyDecodeTarget(a)).m_strBody,
              GatewayFetch(second.BaseUrl() + second.NewsGuyDecodeTarget(a)).m_strBody);
}

namespace
{
// A size text's step: one unit of its last digit ("2.35M" 10000, "15K" 1000).
int64_t SizeStep(const std::string& strText)
{
    const size_t nUnit = strText.find_first_of("BKMG");
    int64_t nStep = strText[nUnit] == 'G' ? 1000000000 : strText[nUnit] == 'M' ? 1000000 : strText[nUnit] == 'K' ? 1000 : 1;
    const size_t nPoint = strText.find('.');
    for (size_t i = nPoint == std::string::npos ? nUnit : nPoint + 1; i < nUnit && strText[i] != ' '; ++i)
        nStep /= 10;
    return nStep;
}
} // namespace

// The listed sizes handed to the listing tests are the body sizes as the size
// texts state them: at most one step of the text's last digit below the body
// ("0 KB" excepted: it stands for less than a kilobyte and lists as one).
TEST(GatewayListing, ListedSizesAreTheBodySizesWithinTheTextsRounding)
{
    CGatewayOptions options;
    options.m_nArticles = 3000;
    CGatewaySimulator sim(options);
    std::set<std::string> notations;
    for (int32_t i = 0; i < sim.ArticleCount("alt.test"); ++i)
    {
        const CGatewayArticle a = sim.Article("alt.test", i);
        SCOPED_TRACE(std::to_string(a.m_nSize) + ": " + a.m_strSizeText + " / " + a.m_strEasySizeText);
        ASSERT_LT(a.m_nSize, int64_t{1} << 31);
        for (const auto& [strText, nListed] : {std::pair{a.m_strSizeText, a.m_nListedSize},
                                                std::pair{a.m_strEasySizeText, a.m_nEasyListedSize}})
        {
            const int64_t nStep = SizeStep(strText);
            EXPECT_EQ(nListed % nStep, 0);
            if (strText == "0 KB")
                EXPECT_TRUE(nListed == 1000 && a.m_nSize < 1000);
            else
                EXPECT_TRUE(nListed <= a.m_nSize && a.m_nSize - nListed < nStep);
        }
        const std::string& ng = a.m_strSizeText;
        const std::string& en = a.m_strEasySizeText;
        notations.insert((ng.find('.') != std::string::npos ? "ng." : "ng") + ng.substr(ng.size() - 1) +
                         std::to_string(SizeStep(ng)));
        notations.insert((en.find('.') != std::string::npos ? "en." : "en") + en.substr(en.find(' ') + 1));
    }
    EXPECT_EQ(notations, (std::set<std::string>{"ngB1", "ngK1000", "ng.K100", "ng.M100000", "ng.M10000",
                                                "ng.G10000000", "enB", "enKB", "en.KB", "en.MB"}));
}
