#include "listing/ListingPoster.h"

void CListingPoster::OnArticle(ArticlePtr pArticle)
{
    if (!m_pWnd)
        return;
    CViewMessage msg;
    msg.nMessage = WM_HEADER_ITEM;
    msg.wParam = 0;
    msg.pArticle = std::move(pArticle);
    m_pWnd->PostMessage(std::move(msg));
}

void CListingPoster::OnProgress(int nPercent)
{
    if (!m_pWnd)
        return;
    CViewMessage msg;
    msg.nMessage = WM_HEADER_PROGRESS;
    msg.wParam = nPercent;
    m_pWnd->PostMessage(std::move(msg));
}

void CListingPoster::OnStatusLine(const std::string& strText)
{
    if (!m_pWnd)
        return;
    CViewMessage msg;
    msg.nMessage = WM_STATUS_TEXT;
    msg.wParam = 0;
    msg.strText = strText;
    m_pWnd->PostMessage(std::move(msg));
}

void CListingPoster::PostDone()
{
    if (!m_pWnd)
        return;
    CViewMessage msg;
    msg.nMessage = WM_HEADER_ITEM;
    msg.wParam = 1;
    m_pWnd->PostMessage(std::move(msg));
}
