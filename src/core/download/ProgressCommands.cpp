#include "download/ProgressCommands.h"

#include "model/ArticleList.h"
#include "ui/ListView.h"
#include "ui/Prompts.h"

namespace
{
constexpr const char* kPathLocked = "Article is already downloading. The path cannot be changed.";

class CWaitCursor
{
public:
    explicit CWaitCursor(CArticleList& list) : m_pView(list.GetView())
    {
        if (m_pView)
            m_pView->BeginWaitCursor();
    }
    ~CWaitCursor()
    {
        if (m_pView)
            m_pView->EndWaitCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    IArticleListView* m_pView;
};

// Moves the row at nFrom to nTo (an index after the removal), keeping its
// selection and focus bits.
void MoveRow(CArticleList& list, int nFrom, int nTo)
{
    ArticlePtr pArticle = list.GetArticle(nFrom);
    uint8_t nState = list.GetItemState(nFrom);
    list.DeleteRow(nFrom);
    list.InsertArticleRow(nTo, std::move(pArticle), nState);
}
} // namespace

int CProgressCommands::CancelDownload(CArticleList& progress)
{
    CWaitCursor wait(progress);
    int nMoved = 0;
    for (int nRow = progress.GetItemCount() - 1; nRow >= 0; --nRow)
    {
        if (!progress.IsSelected(nRow))
            continue;
        ArticlePtr pArticle = progress.GetArticle(nRow);
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState != StateDownloading)
            continue;
        progress.DeleteRow(nRow);
        progress.InsertArticleRow(progress.GetItemCount() - nMoved, pArticle);
        ++nMoved;
        pArticle->m_nState = StateCancelled;
        if (pArticle->m_hRunEvent)
            pArticle->m_hRunEvent->Reset();
    }
    return nMoved;
}

void CProgressCommands::EditDownloadPath(CArticleList& progress, const std::string& strFolder, IPrompts* pPrompts)
{
    CWaitCursor wait(progress);
    for (int nRow = progress.GetNextSelected(-1); nRow >= 0; nRow = progress.GetNextSelected(nRow))
    {
        ArticlePtr pArticle = progress.GetArticle(nRow);
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState == StateDownloading)
        {
            if (pPrompts)
                pPrompts->ShowMessage(kPathLocked, PromptIcon::Exclamation);
            continue;
        }
        pArticle->m_strDownloadPath = strFolder;
        progress.RedrawArticleRow(pArticle.get());
    }
}

bool CProgressCommands::CanMoveToTop(const CArticleList& progress)
{
    return progress.GetSelectedCount() == 1;
}

void CProgressCommands::MoveToTop(CArticleList& progress)
{
    int nRow = progress.GetNextSelected(-1);
    if (nRow < 0)
        return;
    ArticlePtr pArticle = progress.GetArticle(nRow);
    progress.DeleteRow(nRow);
    progress.InsertArticleRow(0, std::move(pArticle)); // no longer selected
}

void CProgressCommands::MoveUp(CArticleList& progress)
{
    for (int nRow = progress.GetNextSelected(-1); nRow >= 0; nRow = progress.GetNextSelected(nRow))
    {
        if (nRow == 0)
            return;
        // The row above goes below the selected one.
        MoveRow(progress, nRow - 1, nRow);
    }
}

void CProgressCommands::MoveDown(CArticleList& progress)
{
    const int nLast = progress.GetItemCount() - 1;
    for (int nRow = nLast; nRow >= 0; --nRow)
    {
        if (!progress.IsSelected(nRow))
            continue;
        if (nRow == nLast)
            return;
        // The row below comes above the selected one.
        MoveRow(progress, nRow + 1, nRow);
    }
}
