#pragma once

// A list widget for the model tests: keeps its own row count from the
// notifications, as an item model would, and records what it is asked to do.

#include "model/ArticleList.h"
#include "ui/ListView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport
{
class RecordingListView : public IArticleListView
{
public:
    // pList: the list whose count a reset takes; pEvents: where row redraws
    // are written as "redraw <strName> <row>".
    explicit RecordingListView(const CArticleList* pList = nullptr,
                               std::vector<std::string>* pEvents = nullptr,
                               std::string strName = std::string())
        : m_pList(pList), m_pEvents(pEvents), m_strName(std::move(strName))
    {
    }
    void OnRowsInserted(int nFirst, int nCount) override
    {
        EXPECT_LE(nFirst, m_nRows);
        m_nRows += nCount;
    }
    void OnRowsRemoved(int nFirst, int nCount) override
    {
        EXPECT_LE(nFirst + nCount, m_nRows);
        m_nRows -= nCount;
        ++m_nRemoved;
        m_nDrawnChanges += m_bRedraw ? 1 : 0;
    }
    void OnRowsMoved(int, int) override {}
    void OnRowsReset() override
    {
        if (m_pList)
            m_nRows = m_pList->GetItemCount();
        ++m_nResets;
        m_nDrawnChanges += m_bRedraw ? 1 : 0;
    }
    void OnRowChanged(int nRow) override
    {
        m_changed.push_back(nRow);
        if (m_pEvents)
            m_pEvents->push_back("redraw " + m_strName + " " + std::to_string(nRow));
    }
    void OnSelectionChanged() override {}
    void EnsureVisible(int nRow) override { m_visible.push_back(nRow); }
    int GetTopIndex() const override { return m_nTop; }
    int GetCountPerPage() const override { return m_nPerPage; }
    void SetRedraw(bool bRedraw) override
    {
        m_redraw.push_back(bRedraw);
        m_bRedraw = bRedraw;
    }
    void BeginWaitCursor() override
    {
        ++m_nWaitDepth;
        ++m_nWaitCursors;
    }
    void EndWaitCursor() override { --m_nWaitDepth; }

    // Redrawing was off for the whole walk and is on again.
    bool RedrawnOnceAtTheEnd() const
    {
        return !m_redraw.empty() && !m_redraw.front() && m_bRedraw && m_nDrawnChanges == 0;
    }

    const CArticleList* m_pList;
    std::vector<std::string>* m_pEvents;
    std::string m_strName;
    int m_nRows = 0;
    int m_nRemoved = 0;
    int m_nResets = 0;
    int m_nDrawnChanges = 0; // rows removed or reset while redrawing was on
    std::vector<int> m_changed;
    std::vector<int> m_visible;
    std::vector<bool> m_redraw;
    bool m_bRedraw = true;
    int m_nTop = 0;
    int m_nPerPage = 100;
    int m_nWaitDepth = 0;
    int m_nWaitCursors = 0;
};
} // namespace testsupport
