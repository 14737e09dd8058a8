#pragma once

// A scheduler with its document, lists and fakes, for the scheduler tests.

#include "download/ArticleHandOff.h"
#include "download/DownloadParams.h"
#include "download/DownloadScheduler.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "support/Articles.h"
#include "support/TestSupport.h"
#include "tools/QueueTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace downloadtest
{
class FakeQueueTools : public IQueueTools
{
public:
    void HangUpConnections() override { ++m_nHangUps; }
    void PowerOffMachine() override { ++m_nPowerOffs; }
    void DeleteTemporaryInternetFiles() override { ++m_nTempDeletes; }
    void EmptyTheRecycleBin() override { ++m_nTrashEmpties; }

    int m_nHangUps = 0;
    int m_nPowerOffs = 0;
    int m_nTempDeletes = 0;
    int m_nTrashEmpties = 0;
};

class FakeHandOff : public IArticleHandOff
{
public:
    void HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder) override
    {
        m_articles.push_back(pArticle);
        m_rows.push_back(nRow);
        m_strFolder = strFolder;
    }
    std::vector<ArticlePtr> m_articles;
    std::vector<int> m_rows;
    std::string m_strFolder;
};

// Records the workers it would start instead of starting them.
class RecordingScheduler : public CDownloadScheduler
{
public:
    using CDownloadScheduler::CDownloadScheduler;
    std::vector<std::unique_ptr<CDownloadParams>> m_started;
    bool m_bFailStart = false;

protected:
    bool StartWorkerThread(std::unique_ptr<CDownloadParams> pParams) override
    {
        if (m_bFailStart)
            return false;
        m_started.push_back(std::move(pParams));
        return true;
    }
};

inline AccountPtr AddAccount(CQueueDocument& doc, int32_t nService, int32_t nMaxDownloads,
                             const std::string& strHost = "127.0.0.1:1")
{
    doc.m_accounts.push_back(testsupport::NewAccount(nService, strHost, "", "", nMaxDownloads));
    return doc.m_accounts.back();
}

// What a worker leaves behind when it has written strPath for the article.
inline void WriteOwnFile(CArticle& article, const std::string& strPath, const std::string& strData)
{
    testsupport::WriteFile(strPath, strData);
    struct stat st
    {
    };
    ::stat(strPath.c_str(), &st);
    article.m_strSavedName = std::filesystem::path(strPath).filename().string();
    article.Transfer().m_strOwnFile = strPath;
    article.Transfer().m_nOwnFileDev = st.st_dev;
    article.Transfer().m_nOwnFileIno = st.st_ino;
    article.Transfer().m_bWroteOwnFile = true;
}

// A scheduler with its document, lists, prompts and tools; TSink takes what
// the workers post.
template <class TScheduler, class TSink>
class SchedulerWorld : public ::testing::Test
{
protected:
    SchedulerWorld()
    {
        m_pDoc->m_settings.m_nMaxDownloads = 2;
        m_articles.SetPrompts(&m_prompts);
        m_progress.SetPrompts(&m_prompts);
        m_scheduler.SetQueueTools(&m_tools);
    }
    // The subjects of the progress list, top to bottom.
    std::string QueueOrder() const
    {
        std::string str;
        for (int i = 0; i < m_progress.GetItemCount(); ++i)
            str += m_progress.GetArticle(i)->m_strSubject;
        return str;
    }

    testsupport::TempDir m_dir;
    testsupport::FakePrompts m_prompts;
    FakeQueueTools m_tools;
    std::shared_ptr<CQueueDocument> m_pDoc = std::make_shared<CQueueDocument>();
    CArticleList m_articles{CArticleList::KindArticles};
    CArticleList m_progress{CArticleList::KindProgress};
    std::shared_ptr<TSink> m_pQueue = std::make_shared<TSink>();
    TScheduler m_scheduler{m_pDoc, m_articles, m_progress, m_pQueue, &m_prompts};
};

inline ArticlePtr MakeListed(int32_t nService, const std::string& strSubject, int32_t nSize = 1000)
{
    return testsupport::NewArticle(
        {.nService = nService, .nSize = nSize, .strSubject = strSubject, .nLists = ListArticles});
}
} // namespace downloadtest
