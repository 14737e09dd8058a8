#include "export/QueueExport.h"

#include "download/DailyCounter.h"
#include "export/ArticleUrl.h"
#include "model/ArticleList.h"
#include "model/AtomicFile.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "tools/SystemServices.h"
#include "ui/Prompts.h"

#include <mutex>

namespace
{
constexpr const char* kIncludeExported = "Include already exported articles?";
// The program's working folder: the root, as the original started it in the
// root of the system drive.
constexpr const char* kWorkingFolder = "/";

const char* ConnectFailure(int32_t nManager)
{
    switch (nManager)
    {
    case CQueueExport::ManagerFlashGet:
        return "Failed to connect to FlashGet!";
    case CQueueExport::ManagerReGet:
        return "Failed to connect to ReGet!";
    case CQueueExport::ManagerNetAnts:
        return "Failed to connect to NetAnts!";
    case CQueueExport::ManagerLeechGet:
        return "Failed to connect to LeechGet!";
    default:
        return nullptr;
    }
}

// The list file as a text-mode write on the original platform left it: every
// line feed became CR LF, so each URL line ends in CR CR LF.
std::string TextModeLines(const std::string& strText)
{
    std::string strOut;
    strOut.reserve(strText.size() + strText.size() / 16);
    for (char c : strText)
    {
        if (c == '\n')
            strOut += '\r';
        strOut += c;
    }
    return strOut;
}
} // namespace

CQueueExport::CQueueExport(std::shared_ptr<CQueueDocument> pDoc, CArticleList& articles,
                           CArticleList& progress, ISystemServices* pSystem, IPrompts* pPrompts,
                           IClock* pClock, CDataFolder dataFolder)
    : m_pDoc(std::move(pDoc)), m_lstArticles(articles), m_lstProgress(progress), m_pSystem(pSystem),
      m_pPrompts(pPrompts), m_dataFolder(std::move(dataFolder)), m_clipboard(pSystem, pClock, pPrompts)
{
}

void CQueueExport::RedrawRows(const CArticle* pArticle)
{
    m_lstArticles.RedrawArticleRow(pArticle);
    // The queue shows the state too when the article was handed over from it.
    m_lstProgress.RedrawArticleRow(pArticle);
}

std::string CQueueExport::GetRightPath() const
{
    std::lock_guard lock(m_pDoc->m_settings.m_lock);
    return m_pDoc->m_settings.m_strGetRightPath;
}

std::vector<std::string> CQueueExport::GetRightArguments(const std::string& strUrl,
                                                         const std::string& strFolder)
{
    std::string strPlain = StripUrlLineEnd(strUrl);
    size_t nSlash = strPlain.rfind('/');
    std::string strName = nSlash == std::string::npos ? strPlain : strPlain.substr(nSlash + 1);
    // The command line /URL:"url" /FILE:"folder name" as its two arguments:
    // each keeps its quotes, and blanks inside the quotes stay inside.
    return {"/URL:\"" + strPlain + "\"", "/FILE:\"" + strFolder + strName + "\""};
}

void CQueueExport::HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder)
{
    int32_t nManager = 0;
    {
        std::lock_guard lock(m_pDoc->m_settings.m_lock);
        nManager = m_pDoc->m_settings.m_nDownloadManager;
    }
    std::lock_guard lock(pArticle->m_lock);
    // Counted before the hand-off and whatever comes of it.
    if (pArticle->m_nService == ServiceNewsGuyExtra && m_pCounter)
        m_pCounter->AddToDailyCounter(*pArticle, false);
    pArticle->m_strDownloadPath = strFolder;
    const std::string strUrl = BuildArticleUrl(*pArticle, false, *m_pDoc, m_bEasyNewsPort81);

    switch (nManager)
    {
    case ManagerClipboard:
        m_clipboard.Put(strUrl,
                        [this, pArticle, bRedraw = nRow != -1]
                        {
                            {
                                std::lock_guard articleLock(pArticle->m_lock);
                                // Queued and started for our own download meanwhile: that
                                // download goes on.
                                if (pArticle->m_nState != StateDownloading)
                                    pArticle->m_nState = StateExported;
                            }
                            if (bRedraw)
                                RedrawRows(pArticle.get());
                        });
        break;
    case ManagerFlashGet:
    case ManagerReGet:
    case ManagerNetAnts:
    case ManagerLeechGet:
        // Their automation objects exist on Windows only: nothing to connect to.
        if (m_pPrompts)
            m_pPrompts->ShowMessage(ConnectFailure(nManager), PromptIcon::None);
        break;
    case ManagerGetRight:
        pArticle->m_nState = StateExported;
        if (nRow != -1)
            RedrawRows(pArticle.get());
        // A missing program is not reported; the article is already handed over.
        if (m_pSystem)
            m_pSystem->StartProgram(GetRightPath(), GetRightArguments(strUrl, strFolder), kWorkingFolder);
        break;
    default:
        break;
    }
}

bool CQueueExport::CanCopyQueueToClipboard() const
{
    return m_lstProgress.GetItemCount() > 0;
}

void CQueueExport::CopyQueueToClipboard(bool bWithCredentials)
{
    const bool bIncludeExported = m_pPrompts && m_pPrompts->AskYesNo(kIncludeExported, PromptIcon::None);
    std::string strText;
    for (int nRow = 0; nRow < m_lstProgress.GetItemCount(); ++nRow)
    {
        ArticlePtr pArticle = m_lstProgress.GetArticle(nRow);
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState != StateQueued && !(pArticle->m_nState == StateExported && bIncludeExported))
            continue;
        pArticle->m_nState = StateExported;
        m_lstProgress.RedrawArticleRow(pArticle.get());
        m_lstArticles.RedrawArticleRow(pArticle.get());
        strText += BuildArticleUrl(*pArticle, bWithCredentials, *m_pDoc, m_bEasyNewsPort81);
    }
    if (!strText.empty())
        m_clipboard.Put(std::move(strText));
}

void CQueueExport::ExportQueueToGetRight()
{
    std::string strText;
    std::vector<ArticlePtr> taken;
    for (int nRow = 0; nRow < m_lstProgress.GetItemCount(); ++nRow)
    {
        ArticlePtr pArticle = m_lstProgress.GetArticle(nRow);
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState != StateQueued)
            continue;
        pArticle->m_nState = StateExported;
        m_lstProgress.RedrawArticleRow(pArticle.get());
        m_lstArticles.RedrawArticleRow(pArticle.get());
        strText += BuildArticleUrl(*pArticle, false, *m_pDoc, m_bEasyNewsPort81);
        taken.push_back(pArticle);
    }
    if (strText.empty())
        return;

    const std::string strPath = m_dataFolder.GetGetRightListPath();
    if (!CAtomicFile::Write(strPath, TextModeLines(strText), 0644))
    {
        // GetRight would read the previous list, and these articles would be
        // downloaded by nobody: they stay queued.
        for (const auto& pArticle : taken)
        {
            {
                std::lock_guard lock(pArticle->m_lock);
                if (pArticle->m_nState == StateExported)
                    pArticle->m_nState = StateQueued;
            }
            RedrawRows(pArticle.get());
        }
        return;
    }
    if (m_pSystem)
        m_pSystem->StartProgram(GetRightPath(), {strPath}, kWorkingFolder);
}
