#include "model/QueueFile.h"

#include "model/Archive.h"
#include "model/ArticleList.h"
#include "model/AtomicFile.h"

#include <cerrno>

std::string CQueueFile::Serialize(const std::vector<ArticlePtr>& articles)
{
    CArchive ar;
    ar.WriteInt32(static_cast<int32_t>(articles.size()));
    for (const auto& pArticle : articles)
        ar.WriteObject(*pArticle);
    return ar.GetBuffer();
}

bool CQueueFile::SaveQueueFile(const std::string& strPath, const std::vector<ArticlePtr>& articles,
                               std::string* pError)
{
    std::string strData;
    try
    {
        strData = Serialize(articles);
    }
    catch (const CArchiveException& e)
    {
        if (pError)
            *pError = e.what();
        return false;
    }
    return CAtomicFile::Write(strPath, strData, 0644, pError);
}

bool CQueueFile::SaveQueueFile(const std::string& strPath, const CArticleList& progress, std::string* pError)
{
    std::vector<ArticlePtr> articles;
    articles.reserve(static_cast<size_t>(progress.GetItemCount()));
    for (int i = 0; i < progress.GetItemCount(); ++i)
        articles.push_back(progress.GetArticle(i));
    return SaveQueueFile(strPath, articles, pError);
}

CQueueLoadResult CQueueFile::Parse(const std::string& strData, std::vector<ArticlePtr>& articles)
{
    CQueueLoadResult result;
    result.bFileFound = true;
    CArchive ar(strData);
    try
    {
        int32_t nCount = ar.ReadInt32();
        // No reserve: the count is not trusted, every object read checks the
        // bytes that are left.
        for (int32_t i = 0; i < nCount; ++i)
        {
            articles.push_back(ar.ReadObject());
            ++result.nStored;
        }
    }
    catch (const CArchiveException& e)
    {
        result.bMalformed = true;
        result.strError = e.what();
    }
    return result;
}

CQueueLoadResult CQueueFile::ReadQueueFile(const std::string& strPath, std::vector<ArticlePtr>& articles)
{
    std::string strData;
    std::string strError;
    if (!CAtomicFile::Read(strPath, strData, &strError))
    {
        CQueueLoadResult result;
        if (errno != ENOENT)
            result.strError = strError;
        return result;
    }
    return Parse(strData, articles);
}

CQueueLoadResult CQueueFile::LoadQueueFile(const std::string& strPath, bool bLoadAll, CArticleList& progress)
{
    std::vector<ArticlePtr> articles;
    CQueueLoadResult result = ReadQueueFile(strPath, articles);
    for (auto& pArticle : articles)
    {
        int32_t nState = pArticle->m_nState;
        if (nState == StateDownloading || nState == StateCancelled)
            nState = pArticle->m_nState = StateQueued;
        if (nState == StateRemoving)
            continue;
        if (bLoadAll || nState == StateQueued)
        {
            pArticle->m_nLists = ListProgress;
            progress.AddArticleRow(pArticle);
            ++result.nListed;
        }
    }
    return result;
}
