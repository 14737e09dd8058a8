// The listing pages as the simulator serves them. What the pages say is
// read by the real parsers in the listing worker tests; these check the
// corpus behind them and what the parsers never see.

#include "GatewayFetch.h"
#include "gateway/GatewaySimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
} // namespace

TEST(GatewayListing, TheCorpusHasEveryFormTheParsersMeet)
{
    CGatewaySimulator sim(SmallCorpus());
    ASSERT_GT(sim.Start(), 0);
    std::set<std::string> marks, sizeUnits;
    std::set<uint64_t> linkLines;
    std::set<int32_t> linkForms;
    size_t nWithoutAuthor = 0;
    for (const CGatewayArticle& a : sim.Articles("alt.test"))
    {
        marks.insert(a.m_strCompleteMark);
        sizeUnits.insert(a.m_strSizeText.substr(a.m_strSizeText.size() - 1));
        linkLines.insert(a.m_nBodyKey % 4 >= 2 ? a.m_nBodyKey % 4 : 0);
        linkForms.insert(a.m_nEasyLinkForm);
        nWithoutAuthor += a.m_strEasyAuthorHtml.empty();
    }
    EXPECT_EQ(marks, (std::set<std::string>{"0", " 0 ", "1", "00"}));
    EXPECT_TRUE(sizeUnits.count("B") && sizeUnits.count("K"));
    EXPECT_EQ(linkLines, (std::set<uint64_t>{0, 2, 3}));
    EXPECT_EQ(linkForms, (std::set<int32_t>{0, 1, 2}));
    EXPECT_GT(nWithoutAuthor, 0u);

    // The NewsGuy page reports its progress in rising steps to 100.
    std::vector<int> progress;
    for (const std::string& line : GatewayFetch(sim.BaseUrl() + CGatewaySimulator::NewsGuyListTarget("alt.test")).Lines())
        if (const size_t nOpen = line.find("setProgress("); nOpen != std::string::npos)
            progress.push_back(std::atoi(line.c_str() + nOpen + 12));
    ASSERT_GE(progress.size(), 10u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);

    // EasyNews sends the group page on to its first day, and ends past the last day.
    const CGatewayFetch group = GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsGroupTarget("alt.test"));
    EXPECT_EQ(group.m_nStatus, 302);
    EXPECT_EQ(group.Header("Location"), sim.BaseUrl() + "/g/alt.test/0-1.html");
    EXPECT_EQ(GatewayFetch(sim.BaseUrl() + CGatewaySimulator::EasyNewsDayTarget("alt.test", 3)).m_nStatus, 404);
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
