#include "listing/ListingPoster.h"

#include "net/HttpRequestFramework.h"

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

void CListingPoster::PostFailure(const std::string& strReason)
{
    if (!m_pWnd)
        return;
    CViewMessage msg;
    msg.nMessage = WM_HEADER_FAILED;
    msg.strText = strReason;
    m_pWnd->PostMessage(std::move(msg));
}

std::string ListingFailureText(int nSendResult, const CHttpRequest* pRequest, const std::string& strHost)
{
    switch (nSendResult)
    {
    case SendRefused:
        return "the login was refused";
    case SendRedirectFailed:
        return "a redirect of " + strHost + " could not be followed";
    case SendNetworkError:
        return "cannot reach " + strHost + (pRequest ? ": " + pRequest->GetErrorText() : std::string());
    default:
        break;
    }
    if (nSendResult >= 400)
        return strHost + " answered with status " + std::to_string(nSendResult);
    if (nSendResult > 0 && pRequest && pRequest->HasFailed())
        return "the listing from " + strHost + " broke off: " + pRequest->GetErrorText();
    return {};
}
