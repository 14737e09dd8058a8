#pragma once

// The check the article-producing targets share: articles written to a queue
// file and read back keep every stored field, and the second file equals the
// first.

#include "FuzzHarness.h"

#include "model/Article.h"
#include "model/QueueFile.h"

#include <vector>

namespace fuzzharness
{
inline bool SameStoredFields(const CArticle& a, const CArticle& b)
{
    return a.m_nState == b.m_nState && a.m_nService == b.m_nService && a.m_nSize == b.m_nSize &&
           a.m_strDecodeQuery == b.m_strDecodeQuery && a.m_nRetries == b.m_nRetries &&
           a.m_strDownloadPath == b.m_strDownloadPath && a.m_strFileName == b.m_strFileName &&
           a.m_strSubject == b.m_strSubject && a.m_strDate == b.m_strDate && a.m_strAuthor == b.m_strAuthor;
}

inline void CheckQueueRoundTrip(const std::vector<ArticlePtr>& articles)
{
    const std::string strFile = CQueueFile::Serialize(articles);
    std::vector<ArticlePtr> again;
    CQueueLoadResult result = CQueueFile::Parse(strFile, again);
    FUZZ_CHECK(!result.bMalformed);
    FUZZ_CHECK(again.size() == articles.size());
    for (size_t i = 0; i < articles.size(); ++i)
        FUZZ_CHECK(SameStoredFields(*articles[i], *again[i]));
    FUZZ_CHECK(CQueueFile::Serialize(again) == strFile);
}
} // namespace fuzzharness
