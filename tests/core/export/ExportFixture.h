#pragma once

// A queue export with its document, both lists, a real daily counter on a
// temporary settings file, and fakes for the system, the prompts and the
// clock.

#include "download/DailyCounter.h"
#include "export/QueueExport.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "settings/ProfileFile.h"
#include "support/Articles.h"
#include "support/RecordingListView.h"
#include "support/TestSupport.h"
#include "tools/FakeSystemServices.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace exporttest
{
class ExportTest : public ::testing::Test
{
protected:
    ExportTest()
        : m_pDoc(std::make_shared<CQueueDocument>()), m_articles(CArticleList::KindArticles),
          m_progress(CArticleList::KindProgress), m_articleView(&m_articles, &m_system.m_events, "articles"),
          m_progressView(&m_progress, &m_system.m_events, "progress"),
          m_export(m_pDoc, m_articles, m_progress, &m_system, &m_prompts, &m_clock,
                   CDataFolder(m_dir.Path().string()))
    {
        m_articles.SetView(&m_articleView);
        m_progress.SetView(&m_progressView);
        for (int32_t nService : {1, 2})
            m_pDoc->m_accounts.push_back(testsupport::NewAccount(nService, "dl.newsguy.com", "joe", "pw"));
        m_pDoc->m_accounts.push_back(testsupport::NewAccount(16, "members.easynews.com", "joe", "pw"));
        m_pDoc->m_settings.m_strGetRightPath = "/opt/getright/getright";
        m_counter.SetupDailyCounter(Ini(), &m_clock);
        m_export.SetDailyCounter(&m_counter);
    }

    void SetManager(int32_t nManager) { m_pDoc->m_settings.m_nDownloadManager = nManager; }

    // A listed article with a row in the article list.
    ArticlePtr Listed(const std::string& strQuery, int32_t nService = 1, int32_t nSize = 1000)
    {
        auto pArticle = testsupport::NewArticle(
            {.nService = nService, .nSize = nSize, .strQuery = strQuery, .nLists = ListArticles});
        m_articles.AddArticleRow(pArticle);
        return pArticle;
    }

    // An article in the queue (and the article list) in state nState.
    ArticlePtr Queued(const std::string& strQuery, int32_t nState = StateQueued)
    {
        ArticlePtr pArticle = Listed(strQuery);
        pArticle->m_nState = nState;
        pArticle->m_nLists |= ListProgress;
        m_progress.AddArticleRow(pArticle);
        return pArticle;
    }

    // Lists one article a query and hands each off from its row in turn.
    std::vector<ArticlePtr> HandOff(const std::vector<std::string>& queries)
    {
        std::vector<ArticlePtr> articles;
        for (const std::string& strQuery : queries)
        {
            articles.push_back(Listed(strQuery));
            m_export.HandOffArticle(articles.back(), m_articles.FindArticleRow(articles.back().get()),
                                    "/dl/");
        }
        return articles;
    }

    static std::string NewsGuyUrl(const std::string& strQuery, bool bCredentials = false)
    {
        return std::string("http://") + (bCredentials ? "joe:pw@" : "") +
               "dl.newsguy.com/news-bin/wwwdecode?" + strQuery + "\r\n";
    }

    std::string Ini() const { return m_dir.File("Dravelin.ini"); }
    std::string BytesTodayKey() const
    {
        return CProfileFile::GetProfileString("Preferences", "BytesToday", "<missing>", Ini());
    }

    testsupport::TempDir m_dir;
    std::shared_ptr<CQueueDocument> m_pDoc;
    CArticleList m_articles;
    CArticleList m_progress;
    toolstest::FakeSystemServices m_system;
    testsupport::FakePrompts m_prompts;
    toolstest::FakeTimerClock m_clock;
    testsupport::RecordingListView m_articleView;
    testsupport::RecordingListView m_progressView;
    CDailyCounter m_counter;
    CQueueExport m_export;
};
} // namespace exporttest
