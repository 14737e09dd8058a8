#include "model/ArticleList.h"

#include "ui/ListView.h"
#include "ui/MessageSink.h"
#include "ui/Prompts.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_set>

namespace
{
constexpr const char* kRemoveRunningQuestion =
    "The article is currently being downloaded.\nAre you sure you want to remove it?";

// The list's text columns sort case-insensitively, byte by byte: a text is
// lower-cased once when its key is made, so comparing two keys is a plain
// byte compare.
bool IsTextColumn(int nColumn)
{
    return nColumn == 1 || nColumn == 2 || nColumn == 4 || nColumn == 5;
}

// The text of a text column of the article.
const std::string* SortText(const CArticle& article, int nColumn)
{
    switch (nColumn)
    {
    case 1:
        return &article.m_strDate;
    case 2:
        return &article.m_strAuthor;
    case 4:
        return &article.m_strSubject;
    case 5:
        return &article.m_strFileName;
    default:
        return nullptr;
    }
}

// Appends the article's text for a text column, lower-cased, taken under the
// article's lock.
void AppendSortText(const CArticle& article, int nColumn, std::string& strTexts)
{
    const size_t nStart = strTexts.size();
    {
        std::lock_guard lock(article.m_lock);
        if (const std::string* pText = SortText(article, nColumn))
            strTexts += *pText;
    }
    for (size_t i = nStart; i < strTexts.size(); ++i)
        if (strTexts[i] >= 'A' && strTexts[i] <= 'Z')
            strTexts[i] = static_cast<char>(strTexts[i] - 'A' + 'a');
}

// The key of a number column, taken under the article's lock.
int64_t SortValue(const CArticle& article, int nColumn)
{
    std::lock_guard lock(article.m_lock);
    switch (nColumn)
    {
    case 0: // higher states first
        return -static_cast<int64_t>(article.m_nState);
    case 3: // smaller first
        return article.GetSize();
    default:
        return 0;
    }
}

// The first eight bytes of a text as one number that orders as the bytes do
// (unsigned, as std::string compares them); a shorter text is padded with
// zero bytes.
uint64_t TextPrefix(std::string_view text)
{
    uint64_t nPrefix = 0;
    for (size_t i = 0; i < 8; ++i)
        nPrefix = (nPrefix << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return nPrefix;
}
} // namespace

CArticleList::CArticleList(int nKind) : m_nListKind(nKind) {}

int CArticleList::InsertArticleRow(int nPos, ArticlePtr pArticle, uint8_t nRowState)
{
    nPos = std::clamp(nPos, 0, GetItemCount());
    m_rows.insert(m_rows.begin() + nPos, CRow{std::move(pArticle), nRowState});
    if (m_pView)
        m_pView->OnRowsInserted(nPos, 1);
    return nPos;
}

void CArticleList::DeleteRow(int nRow)
{
    if (nRow < 0 || nRow >= GetItemCount())
        return;
    m_rows.erase(m_rows.begin() + nRow);
    if (m_pView)
        m_pView->OnRowsRemoved(nRow, 1);
}

int CArticleList::AddArticleRow(ArticlePtr pArticle)
{
    int nRow = InsertArticleRow(GetItemCount(), std::move(pArticle));
    if (m_bAutoScroll && m_pView)
        m_pView->EnsureVisible(nRow);
    return nRow;
}

int CArticleList::FindArticleRow(const CArticle* pArticle) const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].pArticle.get() == pArticle)
            return static_cast<int>(i);
    return -1;
}

void CArticleList::RedrawArticleRow(const CArticle* pArticle)
{
    if (!m_pView)
        return;
    int nRow = FindArticleRow(pArticle);
    if (nRow < 0)
        return;
    int nTop = m_pView->GetTopIndex();
    if (nRow >= nTop && nRow < nTop + m_pView->GetCountPerPage())
        m_pView->OnRowChanged(nRow);
}

void CArticleList::SetItemState(int nRow, uint8_t nState, uint8_t nMask)
{
    if (nRow < 0 || nRow >= GetItemCount())
        return;
    auto& row = m_rows[static_cast<size_t>(nRow)];
    uint8_t nNew = static_cast<uint8_t>((row.nState & ~nMask) | (nState & nMask));
    if (nNew == row.nState)
        return;
    // One focused row at most, as in a list view.
    if ((nMask & RowFocused) && (nState & RowFocused))
        for (auto& other : m_rows)
            other.nState = static_cast<uint8_t>(other.nState & ~RowFocused);
    row.nState = nNew;
    if (m_pView)
        m_pView->OnSelectionChanged();
}

int CArticleList::GetSelectedCount() const
{
    return static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(),
                                          [](const CRow& row) { return (row.nState & RowSelected) != 0; }));
}

int CArticleList::GetNextSelected(int nAfter) const
{
    for (int i = std::max(nAfter + 1, 0); i < GetItemCount(); ++i)
        if (m_rows[static_cast<size_t>(i)].nState & RowSelected)
            return i;
    return -1;
}

int CArticleList::AskRemoval(const ArticlePtr& pArticle) const
{
    {
        std::lock_guard lock(pArticle->m_lock);
        if (m_nListKind != KindProgress || pArticle->m_nState != StateDownloading)
            return -1;
    }
    // Without anyone to ask, a running download is kept.
    return m_pPrompts && m_pPrompts->AskYesNo(kRemoveRunningQuestion, PromptIcon::Question) ? 1 : 0;
}

int CArticleList::RemoveArticles(const std::vector<ArticlePtr>& articles)
{
    int nRemoved = 0;
    std::unordered_set<const CArticle*> decided;
    auto flush = [&]
    {
        if (decided.empty())
            return;
        std::vector<bool> bRemove(m_rows.size(), false);
        for (size_t i = 0; i < m_rows.size(); ++i)
            bRemove[i] = decided.count(m_rows[i].pArticle.get()) != 0;
        nRemoved += static_cast<int>(std::count(bRemove.begin(), bRemove.end(), true));
        decided.clear();
        CompactRows(bRemove);
    };
    bool bAsked = false;
    std::unordered_set<const CArticle*> present;
    for (const ArticlePtr& pArticle : articles)
    {
        if (bAsked && !present.count(pArticle.get()))
            continue;
        int nAnswer = -1;
        {
            std::lock_guard lock(pArticle->m_lock);
            if (m_nListKind == KindProgress && pArticle->m_nState == StateDownloading)
                nAnswer = 0;
        }
        if (nAnswer == 0)
        {
            // The decided rows go before the question lets other messages in.
            flush();
            nAnswer = AskRemoval(pArticle);
            bAsked = true;
            present.clear();
            for (const CRow& row : m_rows)
                present.insert(row.pArticle.get());
            if (!present.count(pArticle.get()))
                continue;
        }
        if (ApplyRemoval(pArticle, nAnswer))
            decided.insert(pArticle.get());
    }
    flush();
    return nRemoved;
}

bool CArticleList::ApplyRemoval(const ArticlePtr& pArticle, int nAnswer)
{
    bool bRemove = true;
    {
        std::lock_guard lock(pArticle->m_lock);
        if (m_nListKind == KindProgress)
        {
            if (pArticle->m_nState == StateDownloading)
            {
                // Without a Yes, a running download is kept.
                bRemove = nAnswer == 1;
                if (bRemove)
                {
                    pArticle->m_nLists &= ~ListProgress;
                    pArticle->m_nState = StateRemoving;
                    if (pArticle->m_hRunEvent)
                        pArticle->m_hRunEvent->Reset();
                }
            }
            else
            {
                pArticle->m_nLists &= ~ListProgress;
            }
        }
        else
        {
            pArticle->m_nLists &= ~ListArticles;
        }
        if (pArticle->m_nLists != 0 && m_nListKind == KindProgress && pArticle->m_nState == StateQueued)
        {
            // No longer queued, but still listed.
            pArticle->m_nState = StateListed;
            pArticle->m_nRetries = 0;
        }
        // An article no list holds any more and no worker uses is freed by
        // the last shared_ptr; nobody needs to redraw it.
        if (pArticle->m_nLists == 0 && pArticle->m_nState != StateRemoving &&
            pArticle->m_nState != StateCancelled)
            return bRemove;
    }
    if (m_nListKind == KindProgress && m_hNotifyWnd)
    {
        CViewMessage msg;
        msg.nMessage = WM_REDRAW_ARTICLE;
        msg.wParam = 0;
        msg.pArticle = pArticle;
        m_hNotifyWnd->PostMessage(std::move(msg));
    }
    return bRemove;
}

bool CArticleList::RemoveRow(int nRow)
{
    if (nRow < 0 || nRow >= GetItemCount())
        return false;
    return RemoveArticles({m_rows[static_cast<size_t>(nRow)].pArticle}) > 0;
}

void CArticleList::CompactRows(const std::vector<bool>& bRemove)
{
    // Ranges of removed rows, found before compacting.
    std::vector<std::pair<int, int>> ranges;
    for (size_t i = 0; i < bRemove.size();)
    {
        if (!bRemove[i])
        {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < bRemove.size() && bRemove[j])
            ++j;
        ranges.emplace_back(static_cast<int>(i), static_cast<int>(j - i));
        i = j;
    }
    if (ranges.empty())
        return;
    size_t nOut = 0;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (!bRemove[i])
            m_rows[nOut++] = std::move(m_rows[i]);
    m_rows.resize(nOut);
    if (!m_pView)
        return;
    // Many scattered ranges: one reset is cheaper for the view than a
    // notification each.
    constexpr size_t kMaxRanges = 64;
    if (ranges.size() > kMaxRanges)
    {
        m_pView->OnRowsReset();
        return;
    }
    // From the last range to the first, so each one's indices hold when the
    // view applies them in order.
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
        m_pView->OnRowsRemoved(it->first, it->second);
}

void CArticleList::RemoveSelected()
{
    if (m_pView)
        m_pView->SetRedraw(false);
    // Rows are decided top-down as the user sees them; the deletion itself is
    // one pass at the end, so a large selection is not quadratic.
    std::vector<ArticlePtr> selected;
    for (const CRow& row : m_rows)
        if (row.nState & RowSelected)
            selected.push_back(row.pArticle);
    RemoveArticles(selected);
    if (m_pView)
        m_pView->SetRedraw(true);
}

void CArticleList::RemoveAll()
{
    if (m_pView)
    {
        m_pView->BeginWaitCursor();
        m_pView->SetRedraw(false);
    }
    std::vector<ArticlePtr> all;
    all.reserve(m_rows.size());
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        all.push_back(it->pArticle);
    RemoveArticles(all);
    if (m_pView)
    {
        m_pView->SetRedraw(true);
        m_pView->EndWaitCursor();
    }
}

void CArticleList::SortByColumn(int nColumn)
{
    if (m_pView)
        m_pView->BeginWaitCursor();
    bool bDescending = nColumn == m_nSortColumn && m_bSortToggle;

    std::vector<size_t> order(m_rows.size());
    if (IsTextColumn(nColumn))
    {
        // The texts go lower-cased into one buffer, each copied under its
        // article's lock, so the sort itself takes no locks and allocates no
        // string per row. Most comparisons end within the first eight bytes,
        // which sit in one integer beside the row; the texts are read only on
        // a tie. The row number breaks the remaining ties, which keeps the
        // sort stable. Descending swaps the two texts but not the row numbers.
        struct CTextKey
        {
            uint64_t nPrefix;
            size_t nOffset;
            uint32_t nLength;
            uint32_t nRow;
        };
        // One pass over the articles: after a sort their rows no longer run
        // in memory order, so a second pass to size the buffer would cost
        // more than the sort. The first rows give an estimate instead, so
        // the buffer seldom has to grow.
        std::string strTexts;
        const size_t nSample = std::min<size_t>(m_rows.size(), 1024);
        for (size_t i = 0; i < nSample; ++i)
            AppendSortText(*m_rows[i].pArticle, nColumn, strTexts);
        if (nSample > 0)
            strTexts.reserve(strTexts.size() / nSample * m_rows.size() * 5 / 4 + 64);
        strTexts.clear();
        std::vector<CTextKey> keys(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i)
        {
            const size_t nOffset = strTexts.size();
            AppendSortText(*m_rows[i].pArticle, nColumn, strTexts);
            const std::string_view text(strTexts.data() + nOffset, strTexts.size() - nOffset);
            keys[i] = CTextKey{TextPrefix(text), nOffset, static_cast<uint32_t>(text.size()),
                               static_cast<uint32_t>(i)};
        }
        const char* pTexts = strTexts.data();
        auto less = [&](const CTextKey& a, const CTextKey& b)
        {
            const CTextKey& x = bDescending ? b : a;
            const CTextKey& y = bDescending ? a : b;
            if (x.nPrefix != y.nPrefix)
                return x.nPrefix < y.nPrefix;
            const int nCompare = std::string_view(pTexts + x.nOffset, x.nLength)
                                     .compare(std::string_view(pTexts + y.nOffset, y.nLength));
            if (nCompare != 0)
                return nCompare < 0;
            return a.nRow < b.nRow;
        };
        std::sort(keys.begin(), keys.end(), less);
        for (size_t i = 0; i < keys.size(); ++i)
            order[i] = keys[i].nRow;
    }
    else
    {
        std::vector<int64_t> values;
        values.reserve(m_rows.size());
        for (const auto& row : m_rows)
            values.push_back(SortValue(*row.pArticle, nColumn));
        std::iota(order.begin(), order.end(), size_t{0});
        // Descending is the ascending comparison with the two rows swapped.
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) {
                             return bDescending ? values[b] < values[a] : values[a] < values[b];
                         });
    }
    std::vector<CRow> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i : order)
        sorted.push_back(std::move(m_rows[i]));
    m_rows = std::move(sorted);

    m_bSortToggle = !m_bSortToggle;
    m_nSortColumn = nColumn;
    if (m_pView)
    {
        m_pView->OnRowsReset();
        m_pView->EndWaitCursor();
    }
}
