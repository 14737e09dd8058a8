#pragma once

#include "listing/ListingSink.h"
#include "ui/MessageSink.h"

#include <memory>

// A listing worker's side of the view's messages: articles as WM_HEADER_ITEM
// 0, progress as WM_HEADER_PROGRESS, status lines as WM_STATUS_TEXT 0, and
// the end as WM_HEADER_ITEM 1.
class CListingPoster : public IListingSink
{
public:
    explicit CListingPoster(std::shared_ptr<IMessageSink> pWnd) : m_pWnd(std::move(pWnd)) {}

    void OnArticle(ArticlePtr pArticle) override;
    void OnProgress(int nPercent) override;
    void OnStatusLine(const std::string& strText) override;
    void PostDone();

private:
    std::shared_ptr<IMessageSink> m_pWnd;
};
