#include "listing/HeaderRetrieval.h"
#include "gateway/GatewaySimulator.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "support/Articles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

using testsupport::FakePrompts;
using testsupport::LocalTime;
using testsupport::RecordingSink;

namespace
{
ArticlePtr MakeArticle(const std::string& strAuthor, const std::string& strSubject,
                       const std::string& strDate = "", int32_t nState = StateListed)
{
    return testsupport::NewArticle(
        {.nState = nState, .strAuthor = strAuthor, .strDate = strDate, .strSubject = strSubject});
}

CViewMessage Message(uint32_t nMessage, intptr_t wParam, ArticlePtr pArticle = nullptr,
                     std::string strText = "")
{
    CViewMessage msg;
    msg.nMessage = nMessage;
    msg.wParam = wParam;
    msg.pArticle = std::move(pArticle);
    msg.strText = std::move(strText);
    return msg;
}

class HeaderRetrievalTest : public ::testing::Test
{
protected:
    HeaderRetrievalTest() : m_retrieval(m_pDocument, m_pSink)
    {
        m_retrieval.SetPrompts(&m_prompts);
        m_retrieval.SetArticleList(&m_list);
        m_retrieval.SetStatusCallback([this](const std::string& s) { m_status.push_back(s); });
        m_retrieval.SetRetrievalEndedCallback([this] { ++m_nEnded; });
        m_pDocument->m_settings.m_bUseProxy = 0;
    }

    void AddAccount(int32_t nService, const std::string& strHost)
    {
        m_pDocument->m_accounts.push_back(testsupport::NewAccount(nService, strHost));
    }

    // Hands the workers' messages to the retrieval until nEnds workers ended.
    void Pump(int nEnds)
    {
        CViewMessage msg;
        while (m_nEnded < nEnds && m_pSink->WaitNext(msg, std::chrono::seconds(60)))
            m_retrieval.OnViewMessage(msg);
    }

    std::shared_ptr<CQueueDocument> m_pDocument = std::make_shared<CQueueDocument>();
    std::shared_ptr<RecordingSink> m_pSink = std::make_shared<RecordingSink>();
    FakePrompts m_prompts;
    CArticleList m_list{CArticleList::KindArticles};
    CHeaderRetrieval m_retrieval;
    std::vector<std::string> m_status;
    int m_nEnded = 0;
};
} // namespace

TEST_F(HeaderRetrievalTest, GoChecksServiceGroupAndAccount)
{
    EXPECT_FALSE(m_retrieval.Go("alt.test"));
    EXPECT_EQ(m_prompts.m_messages,
              std::vector<std::string>{"Please, select a News Service Provider in the Service-menu first."});
    m_retrieval.m_nActiveService = ServiceNewsGuy;
    EXPECT_FALSE(m_retrieval.Go("   "));
    EXPECT_FALSE(m_retrieval.Go("alt.test")); // no NewsGuy account
    AddAccount(ServiceEasyNews, "127.0.0.1:1");
    EXPECT_FALSE(m_retrieval.Go("alt.test"));
    EXPECT_EQ(m_prompts.m_messages.size(), 1u);
    EXPECT_FALSE(m_retrieval.m_hHeaderRunEvent->IsSet());
}

TEST_F(HeaderRetrievalTest, TwoGoPressesListIntoTheSameList)
{
    CGatewaySimulator gateway;
    ASSERT_NE(gateway.Start(), 0);
    AddAccount(ServiceNewsGuyExtra, "127.0.0.1:1"); // not the active service
    AddAccount(ServiceNewsGuy, gateway.HostPort());
    m_retrieval.m_nActiveService = ServiceNewsGuy;
    ASSERT_TRUE(m_retrieval.Go("  alt.test  "));
    EXPECT_TRUE(m_retrieval.m_hHeaderRunEvent->IsSet());
    ASSERT_TRUE(m_retrieval.Go("alt.binaries.test"));
    Pump(2);
    m_retrieval.JoinWorkers();
    EXPECT_EQ(m_nEnded, 2);
    // The first listing to finish leaves the other one running to its end.
    EXPECT_FALSE(m_retrieval.m_hHeaderRunEvent->IsSet());
    EXPECT_EQ(std::count(m_status.begin(), m_status.end(), "Done retrieving headers."), 2);
    EXPECT_NE(std::find(m_status.begin(), m_status.end(), "Retrieving headers: 100%"), m_status.end());
    size_t nExpected = gateway.Articles("alt.test").size() + gateway.Articles("alt.binaries.test").size();
    ASSERT_EQ(static_cast<size_t>(m_list.GetItemCount()), nExpected);
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        EXPECT_EQ(m_list.GetArticle(i)->m_nLists, ListArticles);
    auto requests = gateway.Requests();
    ASSERT_EQ(requests.size(), 2u);
    std::vector<std::string> targets{requests[0].m_strTarget, requests[1].m_strTarget};
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets[0], CGatewaySimulator::NewsGuyListTarget("alt.binaries.test"));
    EXPECT_EQ(targets[1], CGatewaySimulator::NewsGuyListTarget("alt.test"));
}

TEST_F(HeaderRetrievalTest, MessagesBecomeStatusLines)
{
    EXPECT_TRUE(m_retrieval.OnViewMessage(Message(WM_HEADER_PROGRESS, 40)));
    EXPECT_TRUE(m_retrieval.OnViewMessage(Message(WM_STATUS_TEXT, 0, nullptr, "Open Request...")));
    EXPECT_FALSE(m_retrieval.OnViewMessage(Message(WM_STATUS_TEXT, 1, MakeArticle("a", "s"))));
    EXPECT_FALSE(m_retrieval.OnViewMessage(Message(WM_DOWNLOAD_DONE, 1, MakeArticle("a", "s"))));
    EXPECT_TRUE(m_retrieval.OnViewMessage(Message(WM_HEADER_ITEM, 1)));
    EXPECT_EQ(m_status, (std::vector<std::string>{"Retrieving headers: 40%", "Open Request...",
                                                  "Done retrieving headers."}));
    EXPECT_EQ(m_nEnded, 1);
}

TEST_F(HeaderRetrievalTest, ArrivalFilter)
{
    m_retrieval.m_killFilter.m_lstKillAuthors = {"xyz"};
    m_retrieval.m_killFilter.m_lstKillSubjects = {"Spam"};
    m_retrieval.m_bHideIncomplete = 1;
    for (const auto& pArticle :
         {MakeArticle("XYZ123", "fine 1"), MakeArticle("abc", "some SPAMMY post"),
          MakeArticle("abc", "fine 2"), MakeArticle("abc", "fine 3", "", StateIncomplete),
          MakeArticle("x y z", "sp am")})
        m_retrieval.OnViewMessage(Message(WM_HEADER_ITEM, 0, pArticle));
    std::vector<std::string> subjects;
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        subjects.push_back(m_list.GetArticle(i)->m_strSubject);
    EXPECT_EQ(subjects, (std::vector<std::string>{"fine 2", "sp am"}));
    // Without the option incomplete articles are listed.
    m_retrieval.m_bHideIncomplete = 0;
    auto pIncomplete = MakeArticle("abc", "fine", "", StateIncomplete);
    m_retrieval.OnViewMessage(Message(WM_HEADER_ITEM, 0, pIncomplete));
    EXPECT_GE(m_list.FindArticleRow(pIncomplete.get()), 0);
    // The date limit only when checked.
    auto pOld = MakeArticle("a", "s", "01/01");
    m_retrieval.m_tLimit = std::time(nullptr);
    EXPECT_FALSE(m_retrieval.IsFilteredOut(*pOld));
    m_retrieval.m_bLimit = 1;
    EXPECT_TRUE(m_retrieval.IsFilteredOut(*pOld));
    // An empty kill entry kills everything.
    m_retrieval.m_bLimit = 0;
    m_retrieval.m_killFilter.m_lstKillSubjects.push_back("");
    EXPECT_TRUE(m_retrieval.IsFilteredOut(*MakeArticle("anyone", "anything")));
}

struct DateLimitCase
{
    const char* pszName;
    std::time_t tNow;
    std::time_t tLimit;
    const char* pszDate;
    bool bKilled;
};

using DateLimit = ::testing::TestWithParam<DateLimitCase>;

TEST_P(DateLimit, LimitLaterThanTheArticlesDayKills)
{
    EXPECT_EQ(CHeaderRetrieval::IsBeforeDateLimit(GetParam().pszDate, GetParam().tLimit, GetParam().tNow),
              GetParam().bKilled);
}

// The picker on 5 May at some time of day: that day itself goes too. In
// January, December is last year's. An empty date is 30 November of the year
// before.
using D = DateLimitCase;
INSTANTIATE_TEST_SUITE_P(
    Dates, DateLimit,
    ::testing::Values(
        D{"PickedDay", LocalTime(2026, 5, 20, 12), LocalTime(2026, 5, 5, 9, 30), "05/05", true},
        D{"DayAfter", LocalTime(2026, 5, 20, 12), LocalTime(2026, 5, 5, 9, 30), "05/06", false},
        D{"PickedMidnight", LocalTime(2026, 5, 20, 12), LocalTime(2026, 5, 5), "05/05", false},
        D{"DecemberInJanuary", LocalTime(2026, 1, 10, 12), LocalTime(2026, 1, 1, 8), "12/31", true},
        D{"DecemberLimitLastYear", LocalTime(2026, 1, 10, 12), LocalTime(2025, 12, 30, 8), "12/31", false},
        D{"JanuaryInJanuary", LocalTime(2026, 1, 10, 12), LocalTime(2026, 1, 1, 8), "01/02", false},
        D{"EmptyBeforeLimit", LocalTime(2026, 1, 10, 12), LocalTime(2025, 12, 1), "", true},
        D{"EmptyAfterLimit", LocalTime(2026, 1, 10, 12), LocalTime(2025, 11, 29), "", false}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(HeaderRetrievalTitles, WindowTitlesAndFavourites)
{
    EXPECT_EQ(CHeaderRetrieval::WindowTitle("alt.test", ServiceNewsGuy, false),
              "alt.test - Dravelin - NewsGuy");
    EXPECT_EQ(CHeaderRetrieval::WindowTitle("alt.test", ServiceNewsGuyExtra, true),
              "alt.test - Dravelin - NewsGuy Extra");
    EXPECT_EQ(CHeaderRetrieval::WindowTitle("a.b", ServiceEasyNews, false), "a.b - Dravelin - EasyNews:80");
    EXPECT_EQ(CHeaderRetrieval::WindowTitle("a.b", ServiceEasyNews, true), "a.b - Dravelin - EasyNews:81");
    EXPECT_EQ(CHeaderRetrieval::ServiceTitle(ServiceEasyNews, true), "Dravelin - EasyNews:81");
    // Favourites ignore case.
    std::vector<std::string> favourites;
    std::string strGroup = CHeaderRetrieval::TrimNewsgroup("  alt.test \t");
    EXPECT_EQ(strGroup, "alt.test");
    EXPECT_TRUE(CHeaderRetrieval::AddFavourite(favourites, strGroup));
    EXPECT_FALSE(CHeaderRetrieval::AddFavourite(favourites, "alt.test"));
    EXPECT_FALSE(CHeaderRetrieval::AddFavourite(favourites, "ALT.TEST"));
    EXPECT_TRUE(CHeaderRetrieval::AddFavourite(favourites, "alt.test2"));
    EXPECT_EQ(favourites, (std::vector<std::string>{"alt.test", "alt.test2"}));
}
