// The list widget over the core lists: cell texts, icons, header sorting,
// selection mirror, removal keys, and the worker messages arriving through
// the sink.

#include "GuiTestSupport.h"

#include "lists/ArticleListModel.h"
#include "lists/StateImages.h"

#include <atomic>
#include <thread>

using namespace guitest;

namespace
{
void ClickHeader(CArticleListCtrl& list, int nColumn)
{
    QHeaderView* pHeader = list.header();
    const QPoint pt(pHeader->sectionViewportPosition(nColumn) + pHeader->sectionSize(nColumn) / 2,
                    pHeader->height() / 2);
    QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier, pt);
}

CViewMessage Message(int nMessage, ArticlePtr pArticle = nullptr, int nParam = 0)
{
    CViewMessage msg;
    msg.nMessage = nMessage;
    msg.pArticle = std::move(pArticle);
    msg.wParam = nParam;
    return msg;
}

QList<int> SelectedRows(const CArticleListCtrl& list)
{
    QList<int> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}
const struct
{
    const char* pszName;
    int nState;
    const char* pszLastError;
    const char* pszTip; // null: no tooltip
} kTipRows[] = {
    {"listed has no image", StateListed, "", nullptr},
    {"queued", StateQueued, "", "Queued"},
    {"downloading", StateDownloading, "", "Downloading"},
    {"failed with its reason", StateFailed, "HTTP status 503", "Failed: HTTP status 503"},
    {"failed without a reason", StateFailed, "", "Failed"},
    {"retried and done", StateDone, "HTTP status 503", "Done"},
    {"stopped at exit", StateShutdown, "", "Stopped at exit"},
};
} // namespace

class ListTest : public QObject
{
    Q_OBJECT

private:
    void Add(const std::string& strSubject, int nState = StateListed, bool bProgress = false)
    {
        AddListed(*m_pView, MakeArticle(strSubject, "a", "01/01", 1, nState), bProgress);
    }

    std::unique_ptr<CTestProgram> m_pProgram;
    CDravelinView* m_pView = nullptr;

private slots:
    void init()
    {
        m_pProgram = std::make_unique<CTestProgram>();
        m_pProgram->StartWith();
        m_pView = &m_pProgram->View();
    }

    void cleanup()
    {
        m_pProgram.reset();
        m_pView = nullptr;
    }

    void sizeTexts_data()
    {
        QTest::addColumn<int>("nSize");
        QTest::addColumn<QString>("strText");
        const std::pair<int, const char*> rows[] = {
            {0, "0B"},           {999, "999B"},     {1000, "1.0k"},    {1500, "1.5k"},
            {999999, "1000.0k"}, {1000000, "1.0M"}, {1500000, "1.5M"}, {734003200, "734.0M"}};
        for (const auto& [nSize, pszText] : rows)
            QTest::newRow(pszText) << nSize << QString(pszText);
    }

    void sizeTexts()
    {
        QFETCH(int, nSize);
        QFETCH(QString, strText);
        AddListed(*m_pView, MakeArticle("s", "a", "01/01", nSize));
        QCOMPARE(Column(m_pView->ArticleListCtrl(), 3), QStringList({strText}));
    }

    void progressColumns()
    {
        auto pArticle = MakeArticle("the subject", "a", "01/01", 734003200, StateQueued);
        pArticle->m_strDownloadPath = "/downloads/";
        AddListed(*m_pView, pArticle, true);
        CArticleListCtrl& list = m_pView->ProgressListCtrl();
        auto row = [&list]
        {
            QStringList cells;
            for (int i = 1; i < list.model()->columnCount(); ++i)
                cells << list.model()->index(0, i).data().toString();
            return cells;
        };
        // Never started: no speed, no time left, the size in bytes.
        QCOMPARE(row(), QStringList({"the subject", "", "--", "", "734003200", "/downloads/"}));
        {
            std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
            pArticle->m_strSavedName = "file.iso";
            pArticle->Transfer().m_fSpeed = 96.75f;
            pArticle->Transfer().m_strTimeLeft = "00:01:02";
        }
        QCOMPARE(row(),
                 QStringList({"the subject", "file.iso", "96.8", "00:01:02", "734003200", "/downloads/"}));
        QVERIFY(!list.model()->index(0, 2).data(Qt::ToolTipRole).isValid());
        pArticle->Transfer().m_strLastError = "connection refused by h:80";
        QCOMPARE(list.model()->index(0, 2).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("connection refused by h:80"));
        QStringList titles;
        for (int i = 0; i < list.model()->columnCount(); ++i)
            titles << list.model()->headerData(i, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({"", "Subject", "Filename", "kB/s", "Time remaining", "Size (bytes)",
                                      "Download Path"}));
        // Its header does not sort.
        Add("b", StateQueued, true);
        Add("a", StateQueued, true);
        list.resize(500, 200);
        ClickHeader(list, 1);
        QCOMPARE(Column(list, 1), QStringList({"the subject", "b", "a"}));
        QCOMPARE(m_pView->Progress().m_nSortColumn, -1);
        // Nor does the click itself, so it never shows an arrow.
        list.OnColumnClick(1);
        QCOMPARE(Column(list, 1), QStringList({"the subject", "b", "a"}));
        QVERIFY(!list.header()->isSortIndicatorShown());
    }

    void stateIcons()
    {
        for (int nState = StateListed; nState <= StateShutdown; ++nState)
            Add("s", nState);
        CArticleListCtrl& list = m_pView->ArticleListCtrl();
        QVERIFY(!list.model()->index(0, 0).data(Qt::DecorationRole).isValid());
        QSet<qint64> images;
        for (int nRow = 1; nRow <= 9; ++nRow)
        {
            const QVariant icon = list.model()->index(nRow, 0).data(Qt::DecorationRole);
            QVERIFY(icon.isValid());
            const QImage image = icon.value<QIcon>().pixmap(16, 15).toImage();
            QCOMPARE(image.size(), QSize(16, 15));
            images.insert(image.cacheKey() ^ qHashBits(image.constBits(), size_t(image.sizeInBytes())));
        }
        // Nine states, nine different pictures.
        QCOMPARE(images.size(), 9);
        QVERIFY(!list.model()->index(1, 1).data(Qt::DecorationRole).isValid());
    }

    void stateImageTooltips_data() { AddRows(kTipRows); }

    void stateImageTooltips()
    {
        const auto& row = Row(kTipRows);
        auto pArticle = MakeArticle("subject", "a", "01/01", 10, row.nState);
        pArticle->Transfer().m_strLastError = row.pszLastError;
        AddListed(*m_pView, pArticle);
        AddListed(*m_pView, pArticle, true);
        // Both lists show the state image, so both name it.
        for (CArticleListCtrl* pList : {&m_pView->ArticleListCtrl(), &m_pView->ProgressListCtrl()})
        {
            const QVariant tip = pList->model()->index(0, 0).data(Qt::ToolTipRole);
            QCOMPARE(tip.isValid(), row.pszTip != nullptr);
            if (row.pszTip)
                QCOMPARE(tip.toString(), QString::fromLatin1(row.pszTip));
        }
    }

    void headerClicksFollowToggleRule()
    {
        AddListed(*m_pView, MakeArticle("b subject", "Carl", "03/01", 300, StateListed));
        AddListed(*m_pView, MakeArticle("A subject", "alice", "01/01", 1000, StateIncomplete));
        AddListed(*m_pView, MakeArticle("c subject", "Bob", "02/01", 20, StateDone));
        CArticleListCtrl& list = m_pView->ArticleListCtrl();
        list.resize(700, 300);
        const QString strUp1 = "01/01|02/01|03/01", strDown1 = "03/01|02/01|01/01";
        const QString strUp2 = "alice|Bob|Carl", strDown2 = "Carl|Bob|alice";
        const QString strUp3 = "20B|300B|1.0k", strDown3 = "1.0k|300B|20B";
        // Same column twice alternates; a new column while the toggle is set
        // sorts ascending and clears it, so its second click is ascending again.
        // Once the toggle is set, Size sorts small to large twice, then large to
        // small, then small to large again.
        const std::pair<int, QString> clicks[] = {{1, strUp1}, {1, strDown1}, {2, strUp2}, {2, strDown2},
                                                  {1, strUp1}, {2, strUp2},   {2, strUp2}, {3, strUp3},
                                                  {3, strUp3}, {3, strDown3}, {3, strUp3}};
        QHeaderView* pHeader = list.header();
        QVERIFY(!pHeader->isSortIndicatorShown());
        for (const auto& [nColumn, strOrder] : clicks)
        {
            ClickHeader(list, nColumn);
            QCOMPARE(Column(list, nColumn).join('|'), strOrder);
            // The arrow shows the column and the way it is sorted.
            QVERIFY(pHeader->isSortIndicatorShown());
            QCOMPARE(pHeader->sortIndicatorSection(), nColumn);
            const bool bUp = strOrder == strUp1 || strOrder == strUp2 || strOrder == strUp3;
            QCOMPARE(pHeader->sortIndicatorOrder(), bUp ? Qt::AscendingOrder : Qt::DescendingOrder);
        }
        // The first click on the state column puts the highest states first.
        ClickHeader(list, 0);
        ClickHeader(list, 0);
        QCOMPARE(m_pView->Articles().GetArticle(0)->m_nState, int(StateIncomplete));
        QCOMPARE(m_pView->Articles().GetArticle(2)->m_nState, int(StateListed));
        ClickHeader(list, 4);
        QCOMPARE(Column(list, 4), QStringList({"A subject", "b subject", "c subject"}));
        // A new row breaks the order, and the arrow goes.
        Add("late");
        QVERIFY(!pHeader->isSortIndicatorShown());
    }

    void selectionMirrorsAndDeleteKeyRemoves()
    {
        for (int i = 0; i < 6; ++i)
            Add(std::string("s").append(std::to_string(i)));
        CArticleListCtrl& list = m_pView->ArticleListCtrl();
        CArticleList& core = m_pView->Articles();
        list.selectionModel()->select(QItemSelection(list.model()->index(1, 0), list.model()->index(3, 5)),
                                      QItemSelectionModel::ClearAndSelect);
        list.selectionModel()->setCurrentIndex(list.model()->index(3, 0), QItemSelectionModel::NoUpdate);
        QCOMPARE(core.GetSelectedCount(), 3);
        QVERIFY(core.IsSelected(1) && core.IsSelected(2) && core.IsSelected(3));
        QVERIFY(core.GetItemState(3) & CArticleList::RowFocused);
        QCOMPARE(m_pView->SelectedCountLabel()->text(), QStringLiteral("3"));

        // The core changes the selection (a command): the widget follows.
        core.SetItemState(5, CArticleList::RowSelected, CArticleList::RowSelected);
        core.SetItemState(1, 0, CArticleList::RowSelected);
        core.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
        QCOMPARE(SelectedRows(list), QList<int>({0, 2, 3, 5}));
        QCOMPARE(m_pView->SelectedCountLabel()->text(), QStringLiteral("4"));

        // Delete removes them, without a question on the article list.
        list.setFocus();
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(Column(list, 4), QStringList({"s1", "s4"}));
        QCOMPARE(core.GetItemCount(), 2);
        QCOMPARE(core.GetSelectedCount(), 0);
        QCOMPARE(SelectedRows(list), QList<int>());
        QCOMPARE(m_pView->SelectedCountLabel()->text(), QStringLiteral("0"));
        QVERIFY(m_pProgram->m_prompts.m_questions.empty());
    }

    void progressListRemoval()
    {
        // Queued and listed: removing it from the queue makes it "listed" again,
        // and the article list learns of it through WM_REDRAW_ARTICLE.
        auto pBoth = MakeArticle("both", "a", "01/01", 1, StateQueued);
        AddListed(*m_pView, pBoth);
        AddListed(*m_pView, pBoth, true);
        QVERIFY(m_pView->ArticleListCtrl().model()->index(0, 0).data(Qt::DecorationRole).isValid());
        m_pView->ProgressListCtrl().selectAll();
        m_pProgram->Frame().OnCommand(ID_QUEUE_CLEAR);
        QCOMPARE(m_pView->Progress().GetItemCount(), 0);
        QTRY_COMPARE(pBoth->m_nState, int(StateListed));
        QVERIFY(!m_pView->ArticleListCtrl().model()->index(0, 0).data(Qt::DecorationRole).isValid());

        // Delete on three selected rows, the middle one running; the answer is No.
        for (int nState : {StateQueued, StateDownloading, StateFailed})
        {
            auto pArticle =
                MakeArticle(std::string("s").append(std::to_string(nState)), "a", "01/01", 1, nState);
            pArticle->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
            AddListed(*m_pView, pArticle, true);
        }
        CArticleListCtrl& list = m_pView->ProgressListCtrl();
        list.selectAll();
        m_pProgram->m_prompts.m_answers = {false};
        list.setFocus();
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(m_pProgram->m_prompts.m_questions,
                 std::vector<std::string>(
                     {"The article is currently being downloaded.\nAre you sure you want to remove it?"}));
        QCOMPARE(Column(list, 1), QStringList({"s1"}));
        QVERIFY(m_pView->Progress().GetArticle(0)->m_hRunEvent->IsSet());
        QCOMPARE(list.selectionModel()->selectedRows().size(), m_pView->Progress().GetSelectedCount());
    }

    void arrivalsFromWorkersKeepOrderAndBatch()
    {
        constexpr int kCount = 20000;
        IMessageSink& sink = m_pView->Sink();
        std::thread worker(
            [&sink]
            {
                for (int i = 0; i < kCount; ++i)
                {
                    sink.PostMessage(Message(WM_HEADER_ITEM, MakeArticle("subject " + std::to_string(i))));
                    if (i == kCount / 2)
                        sink.PostMessage(Message(WM_HEADER_PROGRESS, nullptr, 50));
                }
                sink.PostMessage(Message(WM_HEADER_ITEM, nullptr, 1));
            });
        worker.join();
        QVERIFY(WaitFor(
            [&] { return m_pView->GetStatusText().find("Done retrieving headers.") != std::string::npos; }));
        // Everything posted before the end message is in the list by then.
        const QStringList subjects = Column(m_pView->ArticleListCtrl(), 4);
        QCOMPARE(m_pView->Articles().GetItemCount(), kCount);
        QCOMPARE(subjects.size(), kCount);
        QCOMPARE(subjects.front(), QStringLiteral("subject 0"));
        QCOMPARE(subjects.back(), QString("subject %1").arg(kCount - 1));
        QCOMPARE(m_pView->GetStatusText(),
                 std::string("Retrieving headers: 50%\r\nDone retrieving headers."));
        QVERIFY(!m_pView->CancelButton()->isEnabled());
        QVERIFY(m_pProgram->Frame().ListingProgress()->isHidden());
    }

    void messageBoxFromWorkerWaitsForUi()
    {
        std::shared_ptr<CGuiMessageSink> pSink = m_pView->SinkPtr();
        std::atomic<bool> bReturned{false};
        std::thread worker(
            [&]
            {
                CViewMessage before = Message(WM_STATUS_TEXT);
                before.strText = "before the box";
                pSink->PostMessage(std::move(before));
                pSink->MessageBox("Disk full");
                bReturned = true;
            });
        // The worker waits until the user-interface thread has shown the box.
        QTRY_VERIFY(bReturned.load());
        worker.join();
        QCOMPARE(m_pProgram->m_prompts.m_messages, std::vector<std::string>({"Disk full"}));
        QCOMPARE(m_pView->GetStatusText(), std::string("before the box"));

        // No event processing now: only closing the sink lets the worker go.
        bReturned = false;
        std::thread waiting(
            [&]
            {
                pSink->MessageBox("never shown");
                bReturned = true;
            });
        while (pSink->GetWaitingCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        QVERIFY(!bReturned.load());
        pSink->Close();
        waiting.join();
        QVERIFY(bReturned.load());
        // A box asked for after the close returns at once.
        pSink->MessageBox("late");
        QApplication::processEvents();
        QCOMPARE(m_pProgram->m_prompts.m_messages.size(), size_t(1));
    }

    void autoScrollFollowsNewRows()
    {
        CArticleListCtrl& list = m_pView->ArticleListCtrl();
        m_pView->AutoCheck()->click();
        QVERIFY(m_pView->Articles().m_bAutoScroll);
        for (int i = 0; i < 500; ++i)
            Add(std::string("s").append(std::to_string(i)));
        QApplication::processEvents();
        const int nLastVisible = list.GetTopIndex() + list.GetCountPerPage();
        QVERIFY2(nLastVisible >= 495, qPrintable(QString::number(nLastVisible)));
        m_pView->AutoCheck()->click();
        QVERIFY(!m_pView->Articles().m_bAutoScroll);
    }

    void hideIncompleteAndApplyKillFilter()
    {
        CMainFrame& frame = m_pProgram->Frame();
        Add("complete one");
        Add("broken XYZ one", StateIncomplete);
        Add("complete xyz two");
        QVERIFY(m_pProgram->Enabled(ID_ARTICLE_HIDEINCOMPLETE));
        QVERIFY(!m_pProgram->Checked(ID_ARTICLE_HIDEINCOMPLETE));
        m_pProgram->Trigger(ID_ARTICLE_HIDEINCOMPLETE);
        QVERIFY(frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
        QVERIFY(m_pView->Retrieval().m_bHideIncomplete != 0);
        QCOMPARE(Column(m_pView->ArticleListCtrl(), 4), QStringList({"complete one", "complete xyz two"}));

        // While it is on, arriving incomplete articles are dropped.
        for (int nState : {StateIncomplete, StateListed})
            m_pView->Sink().PostMessage(Message(
                WM_HEADER_ITEM, MakeArticle("arrived " + std::to_string(nState), "a", "01/01", 1, nState)));
        QTRY_COMPARE(m_pView->Articles().GetItemCount(), 3);
        // The widget learns of the arrivals within a publish interval.
        QTRY_COMPARE(Column(m_pView->ArticleListCtrl(), 4),
                     QStringList({"complete one", "complete xyz two", "arrived -1"}));

        // The kill lists apply to rows already listed.
        m_pView->Retrieval().m_killFilter.m_lstKillSubjects.push_back("xYz");
        m_pProgram->Trigger(ID_ARTICLE_APPLYKILLFILTER);
        QCOMPARE(Column(m_pView->ArticleListCtrl(), 4), QStringList({"complete one", "arrived -1"}));
        // Off again: what is gone stays gone.
        frame.OnCommand(ID_ARTICLE_HIDEINCOMPLETE);
        QVERIFY(!frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
        QVERIFY(m_pView->Retrieval().m_bHideIncomplete == 0);
        QCOMPARE(m_pView->Articles().GetItemCount(), 2);
    }
};

QTEST_MAIN(ListTest)
#include "ListTest.moc"
