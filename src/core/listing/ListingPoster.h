#pragma once

#include "listing/ListingSink.h"
#include "ui/MessageSink.h"

#include <memory>
#include <string>

class CHttpRequest;

// A listing worker's side of the view's messages: articles as WM_HEADER_ITEM
// 0, progress as WM_HEADER_PROGRESS, status lines as WM_STATUS_TEXT 0, and
// the end as WM_HEADER_ITEM 1. A page that could not be fetched is told as
// WM_HEADER_FAILED with the reason, before the end.
class CListingPoster : public IListingSink
{
public:
    explicit CListingPoster(std::shared_ptr<IMessageSink> pWnd) : m_pWnd(std::move(pWnd)) {}

    void OnArticle(ArticlePtr pArticle) override;
    void OnProgress(int nPercent) override;
    void OnStatusLine(const std::string& strText) override;
    void PostDone();
    void PostFailure(const std::string& strReason);

private:
    std::shared_ptr<IMessageSink> m_pWnd;
};

// Why a listing page was not fetched, from the send loop's result (an
// HttpSendResult or a status code) and the request; "" when it was.
std::string ListingFailureText(int nSendResult, const CHttpRequest* pRequest, const std::string& strHost);
