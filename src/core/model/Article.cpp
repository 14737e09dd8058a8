#include "model/Article.h"

#include "model/Archive.h"

void CArticle::Serialize(CArchive& ar)
{
    // The queue file's field order; loading uses the same order.
    std::lock_guard lock(m_lock);
    ar.Serialize(m_nRetries);
    ar.Serialize(m_nService);
    ar.Serialize(m_nSize);
    ar.Serialize(m_nState);
    ar.Serialize(m_strAuthor);
    ar.Serialize(m_strDate);
    ar.Serialize(m_strDownloadPath);
    ar.Serialize(m_strFileName);
    ar.Serialize(m_strSubject);
    ar.Serialize(m_strDecodeQuery);
}
