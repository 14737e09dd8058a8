#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CArticle;

// Worker → view messages keep their original identities and wParam meanings.
enum ViewMessageId : uint32_t
{
    WM_APP = 0x8000,
    WM_HEADER_ITEM = WM_APP + 100,     // wParam 0 new article / 1 worker ended
    WM_DOWNLOAD_DONE = WM_APP + 101,   // wParam 1 success / 0 failure; the article
    WM_STATUS_TEXT = WM_APP + 102,     // wParam 0 status line (text) / 1 progress (article)
    WM_DISK_FULL = WM_APP + 103,       // wParam 0
    WM_REDRAW_ARTICLE = WM_APP + 104,  // wParam 0; the article, used only as a search key
    WM_HEADER_PROGRESS = WM_APP + 105, // wParam percent of the listing
    WM_HEADER_FAILED = WM_APP + 106,   // wParam 0; why a listing page could not be fetched (text)
};

// A posted message with its payload typed instead of a raw lParam.
struct CViewMessage
{
    uint32_t nMessage = 0;
    intptr_t wParam = 0;
    std::shared_ptr<CArticle> pArticle;
    std::string strText;
};

// Where workers send what they have to say. Posting never waits for the view.
class IMessageSink
{
public:
    virtual ~IMessageSink() = default;
    virtual void PostMessage(CViewMessage msg) = 0;
    // A message box from a worker thread (refused password, full disk...):
    // shown on the user-interface thread; returns when the user closed it.
    virtual void MessageBox(const std::string& strText) = 0;
};
