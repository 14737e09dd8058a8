#include "model/Article.h"

#include "model/Archive.h"

#include <climits>

CArticle::~CArticle()
{
    delete m_pTransfer.load(std::memory_order_acquire);
}

CArticleTransfer& CArticle::Transfer()
{
    if (CArticleTransfer* pTransfer = m_pTransfer.load(std::memory_order_acquire))
        return *pTransfer;
    std::lock_guard lock(m_lock);
    CArticleTransfer* pTransfer = m_pTransfer.load(std::memory_order_relaxed);
    if (!pTransfer)
    {
        pTransfer = new CArticleTransfer;
        m_pTransfer.store(pTransfer, std::memory_order_release);
    }
    return *pTransfer;
}

const CArticleTransfer& CArticle::GetTransfer() const
{
    static const CArticleTransfer kNone;
    const CArticleTransfer* pTransfer = m_pTransfer.load(std::memory_order_acquire);
    return pTransfer ? *pTransfer : kNone;
}

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

int64_t CArticle::GetSize() const
{
    std::lock_guard lock(m_lock);
    // The exact size counts only while the field still says "too large": a
    // size written into the field later wins.
    if (m_nSize == INT32_MAX && GetTransfer().m_nFullSize > INT32_MAX)
        return GetTransfer().m_nFullSize;
    return m_nSize;
}

void CArticle::SetSize(int64_t nSize)
{
    std::lock_guard lock(m_lock);
    if (nSize > INT32_MAX)
    {
        m_nSize = INT32_MAX;
        Transfer().m_nFullSize = nSize;
        return;
    }
    m_nSize = static_cast<int32_t>(nSize < INT32_MIN ? INT32_MIN : nSize);
    if (m_pTransfer.load(std::memory_order_acquire))
        Transfer().m_nFullSize = 0;
}
