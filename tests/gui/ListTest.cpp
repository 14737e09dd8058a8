// The list widget over the core lists: cell texts, icons, header sorting,
// selection mirror, removal keys, context menus, and the worker messages
// arriving through the sink.

#include "GuiTestSupport.h"

#include "app/CommandIds.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "lists/ArticleListCtrl.h"
#include "lists/ArticleListModel.h"
#include "lists/StateImages.h"
#include "model/ArticleList.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <atomic>
#include <thread>

using guitest::CTestProgram;
using guitest::MakeArticle;

namespace
{
QString Cell(const CArticleListCtrl& list, int nRow, int nColumn)
{
    return list.model()->index(nRow, nColumn).data().toString();
}

// Subjects top to bottom.
QStringList Column(const CArticleListCtrl& list, int nColumn)
{
    QStringList cells;
    for (int i = 0; i < list.model()->rowCount(); ++i)
        cells << Cell(list, i, nColumn);
    return cells;
}

void ClickHeader(CArticleListCtrl& list, int nColumn)
{
    QHeaderView* pHeader = list.header();
    const QPoint pt(pHeader->sectionViewportPosition(nColumn) + pHeader->sectionSize(nColumn) / 2,
                    pHeader->height() / 2);
    QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier, pt);
}

void AddListed(CDravelinView& view, std::shared_ptr<CArticle> pArticle)
{
    pArticle->m_nLists |= ListArticles;
    view.ArticleListCtrl().AddArticleRow(std::move(pArticle));
}

QStringList MenuTexts(QMenu& menu)
{
    QStringList items;
    for (QAction* pAction : menu.actions())
        items << (pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
    return items;
}
} // namespace

class ListTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sizeTexts_data();
    void sizeTexts();
    void progressColumns();
    void stateIcons();
    void headerClicksFollowToggleRule();
    void progressHeaderDoesNotSort();
    void selectionMirrorsIntoCoreAndBack();
    void deleteKeyRemovesSelectedRows();
    void removingQueuedArticleRedrawsListedRow();
    void deleteOnProgressListAsksForRunningDownload();
    void contextMenusCarryTheirItems();
    void arrivalsFromWorkersKeepOrderAndBatch();
    void messageBoxFromWorkerWaitsForUi();
    void closedSinkReleasesWaitingWorker();
    void autoScrollFollowsNewRows();
    void hideIncompleteAndApplyKillFilter();

private:
    std::unique_ptr<CTestProgram> m_pProgram;
    CDravelinView* m_pView = nullptr;
};

void ListTest::init()
{
    m_pProgram = std::make_unique<CTestProgram>();
    m_pProgram->WriteIni(CTestProgram::CompatibleIni());
    m_pProgram->Start();
    m_pView = &m_pProgram->View();
}

void ListTest::cleanup()
{
    m_pProgram.reset();
    m_pView = nullptr;
}

void ListTest::sizeTexts_data()
{
    QTest::addColumn<int>("nSize");
    QTest::addColumn<QString>("strText");
    QTest::newRow("0") << 0 << "0B";
    QTest::newRow("999") << 999 << "999B";
    QTest::newRow("1000") << 1000 << "1.0k";
    QTest::newRow("1500") << 1500 << "1.5k";
    QTest::newRow("999999") << 999999 << "1000.0k";
    QTest::newRow("1000000") << 1000000 << "1.0M";
    QTest::newRow("1500000") << 1500000 << "1.5M";
    QTest::newRow("734003200") << 734003200 << "734.0M";
}

void ListTest::sizeTexts()
{
    QFETCH(int, nSize);
    QFETCH(QString, strText);
    AddListed(*m_pView, MakeArticle("s", "a", "01/01", nSize));
    QCOMPARE(Cell(m_pView->ArticleListCtrl(), 0, 3), strText);
}

void ListTest::progressColumns()
{
    auto pArticle = MakeArticle("the subject", "a", "01/01", 734003200, StateQueued);
    pArticle->m_strDownloadPath = "/downloads/";
    pArticle->m_nLists = ListProgress;
    m_pView->ProgressListCtrl().AddArticleRow(pArticle);
    CArticleListCtrl& list = m_pView->ProgressListCtrl();
    // Never started: no speed, no time left, the size in bytes.
    QCOMPARE(Column(list, 1), QStringList({"the subject"}));
    QCOMPARE(Cell(list, 0, 2), QString());
    QCOMPARE(Cell(list, 0, 3), QStringLiteral("--"));
    QCOMPARE(Cell(list, 0, 4), QString());
    QCOMPARE(Cell(list, 0, 5), QStringLiteral("734003200"));
    QCOMPARE(Cell(list, 0, 6), QStringLiteral("/downloads/"));
    {
        std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
        pArticle->m_strSavedName = "file.iso";
        pArticle->m_fSpeed = 96.75f;
        pArticle->m_strTimeLeft = "00:01:02";
    }
    QCOMPARE(Cell(list, 0, 2), QStringLiteral("file.iso"));
    QCOMPARE(Cell(list, 0, 3), QStringLiteral("96.8"));
    QCOMPARE(Cell(list, 0, 4), QStringLiteral("00:01:02"));
    QVERIFY(!list.model()->index(0, 2).data(Qt::ToolTipRole).isValid());
    pArticle->m_strLastError = "connection refused by h:80";
    QCOMPARE(list.model()->index(0, 2).data(Qt::ToolTipRole).toString(),
             QStringLiteral("connection refused by h:80"));
    QStringList titles;
    for (int i = 0; i < list.model()->columnCount(); ++i)
        titles << list.model()->headerData(i, Qt::Horizontal).toString();
    QCOMPARE(titles, QStringList({"", "Subject", "Filename", "kB/s", "Time remaining", "Size (bytes)",
                                  "Download Path"}));
}

void ListTest::stateIcons()
{
    for (int nState = StateListed; nState <= StateShutdown; ++nState)
        AddListed(*m_pView, MakeArticle("s", "a", "01/01", 1, nState));
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

void ListTest::headerClicksFollowToggleRule()
{
    AddListed(*m_pView, MakeArticle("b subject", "Carl", "03/01", 300, StateListed));
    AddListed(*m_pView, MakeArticle("A subject", "alice", "01/01", 1000, StateIncomplete));
    AddListed(*m_pView, MakeArticle("c subject", "Bob", "02/01", 20, StateDone));
    CArticleListCtrl& list = m_pView->ArticleListCtrl();
    list.resize(700, 300);

    // Same column twice alternates; a new column while the toggle is set
    // sorts ascending and clears it, so its second click is ascending again.
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"01/01", "02/01", "03/01"}));
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"03/01", "02/01", "01/01"}));
    ClickHeader(list, 2);
    QCOMPARE(Column(list, 2), QStringList({"alice", "Bob", "Carl"}));
    ClickHeader(list, 2);
    QCOMPARE(Column(list, 2), QStringList({"Carl", "Bob", "alice"}));
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"01/01", "02/01", "03/01"}));
    ClickHeader(list, 2);
    QCOMPARE(Column(list, 2), QStringList({"alice", "Bob", "Carl"}));
    ClickHeader(list, 2);
    QCOMPARE(Column(list, 2), QStringList({"alice", "Bob", "Carl"}));

    // The toggle is set now: Size sorts small to large twice, then large to
    // small, then small to large again.
    ClickHeader(list, 3);
    QCOMPARE(Column(list, 3), QStringList({"20B", "300B", "1.0k"}));
    ClickHeader(list, 3);
    QCOMPARE(Column(list, 3), QStringList({"20B", "300B", "1.0k"}));
    ClickHeader(list, 3);
    QCOMPARE(Column(list, 3), QStringList({"1.0k", "300B", "20B"}));
    ClickHeader(list, 3);
    QCOMPARE(Column(list, 3), QStringList({"20B", "300B", "1.0k"}));
    // The first click on the state column puts the highest states first.
    ClickHeader(list, 0);
    ClickHeader(list, 0);
    QCOMPARE(m_pView->Articles().GetArticle(0)->m_nState, int(StateIncomplete));
    QCOMPARE(m_pView->Articles().GetArticle(2)->m_nState, int(StateListed));
    ClickHeader(list, 4);
    QCOMPARE(Column(list, 4), QStringList({"A subject", "b subject", "c subject"}));
}

void ListTest::progressHeaderDoesNotSort()
{
    for (const char* psz : {"b", "c", "a"})
    {
        auto pArticle = MakeArticle(psz, "x", "01/01", 1, StateQueued);
        pArticle->m_nLists = ListProgress;
        m_pView->ProgressListCtrl().AddArticleRow(pArticle);
    }
    CArticleListCtrl& list = m_pView->ProgressListCtrl();
    list.resize(500, 200);
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"b", "c", "a"}));
    QCOMPARE(m_pView->Progress().m_nSortColumn, -1);
}

void ListTest::selectionMirrorsIntoCoreAndBack()
{
    for (int i = 0; i < 6; ++i)
        AddListed(*m_pView, MakeArticle(std::string("s").append(std::to_string(i))));
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
    QList<int> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, QList<int>({2, 3, 5}));
    QCOMPARE(m_pView->SelectedCountLabel()->text(), QStringLiteral("3"));
}

void ListTest::deleteKeyRemovesSelectedRows()
{
    for (int i = 0; i < 6; ++i)
        AddListed(*m_pView, MakeArticle(std::string("s").append(std::to_string(i))));
    CArticleListCtrl& list = m_pView->ArticleListCtrl();
    QItemSelection selection(list.model()->index(0, 0), list.model()->index(0, 5));
    selection.select(list.model()->index(2, 0), list.model()->index(3, 5));
    list.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(Column(list, 4), QStringList({"s1", "s4", "s5"}));
    QCOMPARE(m_pView->Articles().GetItemCount(), 3);
    QCOMPARE(m_pView->Articles().GetSelectedCount(), 0);
    QCOMPARE(list.selectionModel()->selectedRows().size(), 0);
    QCOMPARE(m_pView->SelectedCountLabel()->text(), QStringLiteral("0"));
    // Nobody was asked: the article list removes without a question.
    QVERIFY(m_pProgram->m_prompts.m_questions.empty());
}

void ListTest::removingQueuedArticleRedrawsListedRow()
{
    // Queued and listed: removing it from the queue makes it "listed" again,
    // and the article list learns of it through WM_REDRAW_ARTICLE.
    auto pArticle = MakeArticle("both", "a", "01/01", 1, StateQueued);
    pArticle->m_nLists = ListArticles | ListProgress;
    m_pView->ArticleListCtrl().AddArticleRow(pArticle);
    m_pView->ProgressListCtrl().AddArticleRow(pArticle);
    QVERIFY(m_pView->ArticleListCtrl().model()->index(0, 0).data(Qt::DecorationRole).isValid());
    m_pView->ProgressListCtrl().selectAll();
    m_pProgram->Frame().OnCommand(ID_QUEUE_CLEAR);
    QCOMPARE(m_pView->Progress().GetItemCount(), 0);
    QTRY_COMPARE(pArticle->m_nState, int(StateListed));
    QVERIFY(!m_pView->ArticleListCtrl().model()->index(0, 0).data(Qt::DecorationRole).isValid());
}

void ListTest::deleteOnProgressListAsksForRunningDownload()
{
    // Three selected rows, the middle one running; the answer is No.
    for (int nState : {StateQueued, StateDownloading, StateFailed})
    {
        auto pArticle = MakeArticle(std::string("s").append(std::to_string(nState)), "a", "01/01", 1, nState);
        pArticle->m_nLists = ListProgress;
        pArticle->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        m_pView->ProgressListCtrl().AddArticleRow(pArticle);
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

void ListTest::contextMenusCarryTheirItems()
{
    std::unique_ptr<QMenu> pArticleMenu = m_pView->ArticleListCtrl().CreateContextMenu();
    QCOMPARE(MenuTexts(*pArticleMenu), QStringList({"&Download",
                                                    "Download &to...",
                                                    "Download to <news&group>...",
                                                    "Download to <&subject>...",
                                                    "-",
                                                    "Find...\tCtrl-F",
                                                    "Find &Next\tF3",
                                                    "F&ilter...",
                                                    "&Hide Incomplete Articles",
                                                    "-",
                                                    "&Kill Filter",
                                                    "Add Author to kill filter...",
                                                    "Add Subject to kill filter...\tCtrl-K",
                                                    "Apply Kill Filter",
                                                    "-",
                                                    "Select &All\tCtrl-A",
                                                    "In&vert Selection",
                                                    "-",
                                                    "&Remove",
                                                    "Remove All\tCtrl-X"}));
    std::unique_ptr<QMenu> pProgressMenu = m_pView->ProgressListCtrl().CreateContextMenu();
    QCOMPARE(MenuTexts(*pProgressMenu),
             QStringList({"&Export Queue to GetRight", "&Copy Queue to Clipboard",
                          "Copy Queue to Clipboard (include Username and Password)", "Clear &Queue", "-",
                          "Move to &Top", "Edit Download &Path", "Cancel &Download", "&Remove"}));
    // The items follow the same enabling as the menus: an empty list offers
    // no "Remove All"; with rows it does, and choosing it empties the list.
    QAction* pRemoveAll = pArticleMenu->actions().last();
    QVERIFY(!pRemoveAll->isEnabled());
    AddListed(*m_pView, MakeArticle("x"));
    pArticleMenu = m_pView->ArticleListCtrl().CreateContextMenu();
    pRemoveAll = pArticleMenu->actions().last();
    QVERIFY(pRemoveAll->isEnabled());
    pRemoveAll->trigger();
    QCOMPARE(m_pView->Articles().GetItemCount(), 0);
}

void ListTest::arrivalsFromWorkersKeepOrderAndBatch()
{
    constexpr int kCount = 20000;
    IMessageSink& sink = m_pView->Sink();
    std::thread worker(
        [&sink]
        {
            for (int i = 0; i < kCount; ++i)
            {
                CViewMessage msg;
                msg.nMessage = WM_HEADER_ITEM;
                msg.pArticle = MakeArticle("subject " + std::to_string(i));
                sink.PostMessage(std::move(msg));
                if (i == kCount / 2)
                {
                    CViewMessage progress;
                    progress.nMessage = WM_HEADER_PROGRESS;
                    progress.wParam = 50;
                    sink.PostMessage(std::move(progress));
                }
            }
            CViewMessage end;
            end.nMessage = WM_HEADER_ITEM;
            end.wParam = 1;
            sink.PostMessage(std::move(end));
        });
    worker.join();
    QTRY_VERIFY_WITH_TIMEOUT(m_pView->GetStatusText().find("Done retrieving headers.") != std::string::npos,
                             20000);
    // Everything posted before the end message is in the list by then.
    CArticleListCtrl& list = m_pView->ArticleListCtrl();
    QCOMPARE(m_pView->Articles().GetItemCount(), kCount);
    QCOMPARE(list.model()->rowCount(), kCount);
    QCOMPARE(Cell(list, 0, 4), QStringLiteral("subject 0"));
    QCOMPARE(Cell(list, kCount - 1, 4), QString("subject %1").arg(kCount - 1));
    QCOMPARE(m_pView->GetStatusText(), std::string("Retrieving headers: 50%\r\nDone retrieving headers."));
    QVERIFY(!m_pView->CancelButton()->isEnabled());
    QVERIFY(m_pProgram->Frame().ListingProgress()->isHidden());
}

void ListTest::messageBoxFromWorkerWaitsForUi()
{
    IMessageSink& sink = m_pView->Sink();
    std::atomic<bool> bReturned{false};
    std::thread worker(
        [&]
        {
            CViewMessage before;
            before.nMessage = WM_STATUS_TEXT;
            before.strText = "before the box";
            sink.PostMessage(std::move(before));
            sink.MessageBox("Disk full");
            bReturned = true;
        });
    // The worker waits until the user-interface thread has shown the box.
    QTRY_VERIFY(bReturned.load());
    worker.join();
    QCOMPARE(m_pProgram->m_prompts.m_messages, std::vector<std::string>({"Disk full"}));
    QCOMPARE(m_pView->GetStatusText(), std::string("before the box"));
}

void ListTest::closedSinkReleasesWaitingWorker()
{
    std::shared_ptr<CGuiMessageSink> pSink = m_pView->SinkPtr();
    std::atomic<bool> bReturned{false};
    std::thread worker(
        [&]
        {
            pSink->MessageBox("never shown");
            bReturned = true;
        });
    // No event processing here: only closing the sink lets the worker go.
    while (pSink->GetWaitingCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    QVERIFY(!bReturned.load());
    pSink->Close();
    worker.join();
    QVERIFY(bReturned.load());
    // A box asked for after the close returns at once.
    pSink->MessageBox("late");
    QApplication::processEvents();
    QVERIFY(m_pProgram->m_prompts.m_messages.empty());
}

void ListTest::autoScrollFollowsNewRows()
{
    CArticleListCtrl& list = m_pView->ArticleListCtrl();
    m_pView->AutoCheck()->click();
    QVERIFY(m_pView->Articles().m_bAutoScroll);
    for (int i = 0; i < 500; ++i)
        AddListed(*m_pView, MakeArticle(std::string("s").append(std::to_string(i))));
    QApplication::processEvents();
    const int nLastVisible = list.GetTopIndex() + list.GetCountPerPage();
    QVERIFY2(nLastVisible >= 495, qPrintable(QString::number(nLastVisible)));
    m_pView->AutoCheck()->click();
    QVERIFY(!m_pView->Articles().m_bAutoScroll);
}

void ListTest::hideIncompleteAndApplyKillFilter()
{
    CMainFrame& frame = m_pProgram->Frame();
    AddListed(*m_pView, MakeArticle("complete one", "a", "01/01", 1, StateListed));
    AddListed(*m_pView, MakeArticle("broken XYZ one", "a", "01/01", 1, StateIncomplete));
    AddListed(*m_pView, MakeArticle("complete xyz two", "a", "01/01", 1, StateListed));
    frame.UpdateCommandUI();
    QVERIFY(frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isEnabled());
    QVERIFY(!frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
    frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->trigger();
    QVERIFY(frame.FindAction(ID_ARTICLE_HIDEINCOMPLETE)->isChecked());
    QCOMPARE(Column(m_pView->ArticleListCtrl(), 4), QStringList({"complete one", "complete xyz two"}));

    // While it is on, arriving incomplete articles are dropped.
    for (int nState : {StateIncomplete, StateListed})
    {
        CViewMessage msg;
        msg.nMessage = WM_HEADER_ITEM;
        msg.pArticle = MakeArticle("arrived " + std::to_string(nState), "a", "01/01", 1, nState);
        m_pView->Sink().PostMessage(std::move(msg));
    }
    QTRY_COMPARE(m_pView->Articles().GetItemCount(), 3);
    // The widget learns of the arrivals within a publish interval.
    QTRY_COMPARE(Column(m_pView->ArticleListCtrl(), 4),
                 QStringList({"complete one", "complete xyz two", "arrived -1"}));

    // The kill lists apply to rows already listed.
    m_pView->Retrieval().m_killFilter.m_lstKillSubjects.push_back("xYz");
    frame.FindAction(ID_ARTICLE_APPLYKILLFILTER)->trigger();
    QCOMPARE(Column(m_pView->ArticleListCtrl(), 4), QStringList({"complete one", "arrived -1"}));
}

QTEST_MAIN(ListTest)
#include "ListTest.moc"
