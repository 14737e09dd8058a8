#pragma once

#include "download/ArticleHandOff.h"
#include "export/ClipboardHandOff.h"
#include "settings/DataFolder.h"

#include <memory>
#include <string>
#include <vector>

class CArticleList;
class CDailyCounter;
class CQueueDocument;
class IClock;
class IPrompts;
class ISystemServices;

// Hands articles to the clipboard or a download manager instead of the
// download queue ("&Use a download manager"), and the whole queue at once
// ("&Copy Queue to Clipboard", "&Export Queue to GetRight"). GetRight is
// started as a program; the managers that only offer Windows automation
// objects (FlashGet, ReGet, NetAnts, LeechGet) cannot be reached on this
// system, so handing to them fails with their usual message.
// User-interface thread only.
class CQueueExport : public IArticleHandOff
{
public:
    enum DownloadManager
    {
        ManagerClipboard = 0,
        ManagerFlashGet = 1,
        ManagerReGet = 2,
        ManagerNetAnts = 3,
        ManagerGetRight = 4,
        ManagerLeechGet = 5,
    };

    CQueueExport(std::shared_ptr<CQueueDocument> pDoc, CArticleList& articles, CArticleList& progress,
                 ISystemServices* pSystem, IPrompts* pPrompts, IClock* pClock, CDataFolder dataFolder);
    CQueueExport(const CQueueExport&) = delete;
    CQueueExport& operator=(const CQueueExport&) = delete;

    // The daily byte count of NewsGuy Extra (null: not counted).
    void SetDailyCounter(CDailyCounter* pCounter) { m_pCounter = pCounter; }
    void SetEasyNewsPort81(bool bPort81) { m_bEasyNewsPort81 = bPort81; }

    // One article to the configured target; nRow is its row in the article
    // list or -1. The caller holds the article's lock.
    void HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder) override;
    // "&Copy Queue to Clipboard" and its variant with user name and password.
    void CopyQueueToClipboard(bool bWithCredentials);
    // "&Export Queue to GetRight".
    void ExportQueueToGetRight();
    // Both copy commands are enabled while the queue has rows; the GetRight
    // export always is.
    bool CanCopyQueueToClipboard() const;

    // The clipboard's timer (CClipboardHandOff::kTimerId); false for others.
    bool OnTimer(int nId) { return m_clipboard.OnTimer(nId); }
    CClipboardHandOff& GetClipboard() { return m_clipboard; }

    // The two arguments GetRight gets for one URL line: /URL:"url" and
    // /FILE:"folder name", name being the URL's text after its last '/'.
    static std::vector<std::string> GetRightArguments(const std::string& strUrl,
                                                      const std::string& strFolder);

private:
    void RedrawRows(const CArticle* pArticle);
    std::string GetRightPath() const;

    std::shared_ptr<CQueueDocument> m_pDoc;
    CArticleList& m_lstArticles;
    CArticleList& m_lstProgress;
    ISystemServices* m_pSystem;
    IPrompts* m_pPrompts;
    CDataFolder m_dataFolder;
    CDailyCounter* m_pCounter = nullptr;
    bool m_bEasyNewsPort81 = false;
    CClipboardHandOff m_clipboard;
};
