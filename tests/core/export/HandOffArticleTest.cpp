#include "export/ClipboardHandOff.h"
#include "export/ExportFixture.h"
#include "support/Join.h"
#include "support/WithRow.h"

#include <gtest/gtest.h>

namespace
{
using exporttest::ExportTest;
using Texts = std::vector<std::string>;

class HandOffArticleTest : public ExportTest
{
};

TEST_F(HandOffArticleTest, ClipboardPutsTheUrlAndExportsTheArticle)
{
    SetManager(0);
    ArticlePtr pArticle = Listed("alt.test/1");

    m_export.HandOffArticle(pArticle, 0, "/home/joe/dl/");

    EXPECT_EQ(m_system.m_clipboard, Texts{NewsGuyUrl("alt.test/1")});
    EXPECT_EQ(pArticle->m_nState, StateExported);
    EXPECT_EQ(pArticle->m_strDownloadPath, "/home/joe/dl/");
    EXPECT_EQ(m_system.m_events, (Texts{"clipboard", "redraw articles 0"}));
    // The next clipboard text must wait a second.
    EXPECT_EQ(m_clock.Period(CClipboardHandOff::kTimerId), 1000);
    EXPECT_TRUE(m_prompts.m_messages.empty());
    // Without an article row nothing is redrawn.
    m_export.OnTimer(CClipboardHandOff::kTimerId);
    m_system.m_events.clear();
    m_export.HandOffArticle(Listed("alt.test/2"), -1, "/dl/");
    EXPECT_EQ(m_system.m_events, Texts{"clipboard"});
}

// A failed clipboard says so once per article, waits for no timer, leaves
// the state alone and still counts a NewsGuy Extra article.
TEST_F(HandOffArticleTest, ClipboardUnavailableShowsTheMessageAndKeepsTheState)
{
    SetManager(0);
    m_system.m_bClipboardAvailable = false;
    ArticlePtr pFirst = Listed("a");
    ArticlePtr pSecond = Listed("b", 2, 2500);

    m_export.HandOffArticle(pFirst, 0, "/dl/");
    m_export.HandOffArticle(pSecond, 1, "/dl/");

    EXPECT_EQ(m_prompts.m_messages, (Texts{"Can't open clipboard!", "Can't open clipboard!"}));
    EXPECT_EQ(m_prompts.m_icons, (std::vector<PromptIcon>{PromptIcon::None, PromptIcon::None}));
    EXPECT_EQ(testsupport::Join(pFirst->m_nState, pSecond->m_nState, pSecond->m_strDownloadPath,
                                m_counter.m_nBytesToday),
              testsupport::Join(StateListed, StateListed, "/dl/", 2500));
    EXPECT_FALSE(m_clock.IsRunning(CClipboardHandOff::kTimerId));
}

// Managers that cannot be reached fail with their message; an unknown one
// (9) only sets the path. Either way a NewsGuy Extra article is counted,
// though nothing took it.
struct ManagerCase
{
    int32_t nManager;
    const char* pszMessage;
};

using UnreachableManagerTest = testsupport::WithRow<ExportTest, ManagerCase>;

TEST_P(UnreachableManagerTest, FailsWithItsMessageAndLeavesTheArticleAsDescribed)
{
    SetManager(GetParam().nManager);
    ArticlePtr pArticle = Listed("alt.test/9", 2, 5000);
    m_system.m_events.clear();

    m_export.HandOffArticle(pArticle, 0, "/dl/");

    const std::string strMessage = GetParam().pszMessage;
    EXPECT_EQ(m_prompts.m_messages, strMessage.empty() ? Texts{} : Texts{strMessage});
    EXPECT_EQ(m_prompts.m_icons.size(), strMessage.empty() ? 0u : 1u);
    EXPECT_TRUE(m_prompts.m_icons.empty() || m_prompts.m_icons[0] == PromptIcon::None);
    EXPECT_EQ(testsupport::Join(pArticle->m_nState, pArticle->m_strDownloadPath, m_counter.m_nBytesToday,
                                BytesTodayKey()),
              testsupport::Join(StateListed, "/dl/", 5000, 5000));
    EXPECT_TRUE(m_system.m_events.empty()); // no clipboard, no program, no redraw
}

using M = ManagerCase;
INSTANTIATE_TEST_SUITE_P(Managers, UnreachableManagerTest,
                         ::testing::Values(M{1, "Failed to connect to FlashGet!"},
                                           M{2, "Failed to connect to ReGet!"},
                                           M{3, "Failed to connect to NetAnts!"},
                                           M{5, "Failed to connect to LeechGet!"}, M{9, ""}),
                         [](const ::testing::TestParamInfo<ManagerCase>& info)
                         { return "Manager" + std::to_string(info.param.nManager); });

TEST_F(HandOffArticleTest, GetRightExportsRedrawsThenStartsTheProgram)
{
    SetManager(4);
    Listed("other");
    ArticlePtr pArticle = Listed("group=alt.test&id=77");
    m_system.m_events.clear();

    m_export.HandOffArticle(pArticle, 1, "/home/joe/My Downloads/");

    EXPECT_EQ(pArticle->m_nState, StateExported);
    EXPECT_EQ(m_system.m_events, (Texts{"redraw articles 1", "start /opt/getright/getright"}));
    ASSERT_EQ(m_system.m_started.size(), 1u);
    EXPECT_EQ(m_system.m_started[0].args,
              (Texts{"/URL:\"http://dl.newsguy.com/news-bin/wwwdecode?group=alt.test&id=77\"",
                     "/FILE:\"/home/joe/My Downloads/wwwdecode?group=alt.test&id=77\""}));
    EXPECT_EQ(m_system.m_started[0].strWorkingFolder, "/");
    EXPECT_TRUE(m_system.m_clipboard.empty());

    // A GetRight that cannot be started is not reported; the file name is the
    // text after the last slash.
    m_system.m_bProgramsStart = false;
    ArticlePtr pEasy = Listed("/news/alt/file.zip", 16);
    m_export.SetEasyNewsPort81(true);
    m_export.HandOffArticle(pEasy, 2, "/dl/");
    ASSERT_EQ(m_system.m_started.size(), 2u);
    EXPECT_EQ(m_system.m_started[1].args,
              (Texts{"/URL:\"http://members.easynews.com:81/news/alt/file.zip\"", "/FILE:\"/dl/file.zip\""}));
    EXPECT_TRUE(m_prompts.m_messages.empty());
    EXPECT_EQ(pEasy->m_nState, StateExported);
}

TEST_F(HandOffArticleTest, DailyCountIgnoresTheLimitAndOtherServices)
{
    SetManager(0);
    m_counter.m_nMaxBytes = 1000;
    ArticlePtr pBig = Listed("big", 2, 4000);
    ArticlePtr pNewsGuy = Listed("ng", 1, 7000);
    ArticlePtr pEasy = Listed("/e", 16, 9000);

    m_export.HandOffArticle(pBig, 0, "/dl/");
    m_export.HandOffArticle(pNewsGuy, 1, "/dl/");
    m_export.HandOffArticle(pEasy, 2, "/dl/");

    // Past the limit, counted at once, and only NewsGuy Extra.
    EXPECT_EQ(m_counter.m_nBytesToday, 4000u);
    EXPECT_EQ(BytesTodayKey(), "4000");
}
} // namespace
