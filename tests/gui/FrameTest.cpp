// The main frame and the view's set-up and shutdown: menus, command enabling,
// titles, placement, column widths, favourites, layout, the quit question,
// the command line and NZB files dropped on the window or named at start.

#include "GuiTestSupport.h"

#include "dialogs/AboutDlg.h"
#include "model/QueueFile.h"

#include "download/DownloadOptions.h"

using namespace guitest;

namespace
{
// "text=id" per item, "-" for a separator, joined by "|".
QString MenuItems(QMenu* pMenu, bool bIds = true)
{
    QStringList items;
    for (QAction* pAction : pMenu->actions())
        items << (pAction->isSeparator() ? QStringLiteral("-")
                                         : pAction->text() + (bIds ? "=" + pAction->data().toString() : ""));
    return items.join('|');
}

QRect InFrame(QWidget* pWidget, CMainFrame& frame)
{
    return QRect(pWidget->mapTo(&frame, QPoint(0, 0)), pWidget->size());
}

const std::vector<int> kServices = {ID_SERVICE_NEWSGUY, ID_SERVICE_NEWSGUYEXTRA, ID_SERVICE_EASYNEWS80,
                                    ID_SERVICE_EASYNEWS81};
} // namespace

const struct
{
    const char* pszName;
    const char* pszAccount;
    int nCommand; // 0: none given
    const char *pszTitle, *pszChecked, *pszSaved;
} kServiceRows[] = {
    {"NewsGuy", "19\n", ID_SERVICE_NEWSGUY, "NewsGuy", "1000", "Active=1|UseEasyNewsPort81=0"},
    {"NewsGuy Extra", "19\n", ID_SERVICE_NEWSGUYEXTRA, "NewsGuy Extra", "0100",
     "Active=2|UseEasyNewsPort81=0"},
    {"EasyNews 80", "19\n", ID_SERVICE_EASYNEWS80, "EasyNews:80", "0010", "Active=16|UseEasyNewsPort81=0"},
    {"EasyNews 81", "19\n", ID_SERVICE_EASYNEWS81, "EasyNews:81", "0001", "Active=16|UseEasyNewsPort81=1"},
    // Only NewsGuy subscribed: the saved choice still comes back.
    {"saved", "1\nActive=16\nUseEasyNewsPort81=1\n", 0, "EasyNews:81", "0001",
     "Active=16|UseEasyNewsPort81=1"}};

const char* const kWindow800 = "Left=10\nTop=20\nRight=810\nBottom=620\n";

const struct
{
    const char* pszName;
    const char* pszWindow; // the saved rectangle
    QSize startSize;
    int nStates;   // set before the exit,
    QSize setSize; // or resized to this
    QSize savedSize;
    const char* pszSaved;
} kPlacementRows[] = {
    {"normal", "", {750, 496}, 0, {900, 600}, {900, 600}, "Maximized=0|Minimized=0"},
    // The normal rectangle is the one to restore to, not the maximized one.
    {"maximized", kWindow800, {800, 600}, Qt::WindowMaximized, {}, {800, 600}, "Maximized=1|Minimized=0"},
    // Shown minimized again; restoring it maximizes it.
    {"minimized from maximized",
     kWindow800,
     {800, 600},
     int(Qt::WindowMaximized) | int(Qt::WindowMinimized),
     {},
     {800, 600},
     "Maximized=1|Minimized=1"},
    // Too small: grows to the minimum, which the user cannot go below either.
    {"too small",
     "Left=10\nTop=20\nRight=110\nBottom=120\n",
     {750, 496},
     0,
     {300, 200},
     {750, 496},
     "Maximized=0|Minimized=0"}};

const struct
{
    const char* pszName;
    std::vector<std::string> args;
    bool bDisable, bDemo;
    const char* pszDataDir; // nullptr: an error
} kCommandLineRows[] = {
    {"none", {}, false, false, ""},
    {"plain", {"disableprogressbytes"}, true, false, ""},
    {"any case, inside", {"/DisableProgressBytes"}, true, false, ""},
    {"with others", {"--demo", "--data-dir", "/tmp/x", "xDISABLEPROGRESSBYTESx"}, true, true, "/tmp/x"},
    {"data dir =", {"--data-dir=/tmp/y"}, false, false, "/tmp/y"},
    {"data dir without value", {"--data-dir"}, false, false, nullptr}};

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void menusToolbarAndAboutBox()
    {
        CTestProgram program;
        program.StartWith();
        CMainFrame& frame = program.Frame();
        QMap<QString, QMenu*> menus;
        QStringList titles;
        for (QAction* pAction : frame.menuBar()->actions())
        {
            titles << pAction->text();
            menus[pAction->text()] = pAction->menu();
        }
        QCOMPARE(titles,
                 QStringList({"&File", "&View", "&Service", "&Article", "&Queue", "&Tools", "&Help"}));
        QCOMPARE(MenuItems(menus["&File"]), "Import NZB...=32817|&Preferences...=32771|-|E&xit=57665");
        QCOMPARE(MenuItems(menus["&Service"]), "&NewsGuy=32772|News&Guy Extra=32773|&WebUseNet=32774|"
                                               "WebUseNet &Members=32775|&EasyNews (Port 80)=32776|"
                                               "Eas&yNews (Port 81)=32777");
        const QString strArticle = "&Download=32778|Download &to...=32779|Download to <news&group>...=32780|"
                                   "Download to <&subject>...=32781|-|Find...\tCtrl-F=32782|"
                                   "Find &Next\tF3=32783|F&ilter...=32784|&Hide Incomplete Articles=32785|-|"
                                   "&Kill Filter...=32806|Add Author to kill filter...=32807|"
                                   "Add Subject to kill filter...\tCtrl-K=32808|Apply Kill Filter=32813|-|"
                                   "Select &All\tCtrl-A=32786|In&vert Selection=32803|-|&Remove=32787|"
                                   "Remove All\tCtrl-X=32810";
        QCOMPARE(MenuItems(menus["&Article"]), strArticle);
        QCOMPARE(MenuItems(menus["&Queue"]),
                 "&Start Downloading=32798|&Export Queue to GetRight=32812|&Copy Queue to Clipboard=32788|"
                 "Copy Queue to Clipboard (include Username and Password)=32816|-|Clear &Queue=32789|-|"
                 "Sa&ve Queue\tCtrl-S=32805");
        QCOMPARE(MenuItems(menus["&Tools"]),
                 "&Hang Up when done=32790|&Power Off when done=32791|-|"
                 "&Delete Temp Inet files=32792|&Empty Recycle Bin=32793|-|"
                 "&Clear Status Window=32809|-|&Ignore NewsGuy download limit=32815");
        QCOMPARE(MenuItems(menus["&Help"]), "&About Dravelin...=57664");
        // The lists' context menus: the article menu (its kill filter item
        // without the dots), and the queue's own.
        QString strContext = strArticle;
        strContext.replace("&Kill Filter...", "&Kill Filter").remove(QRegularExpression("=\\d+"));
        QCOMPARE(MenuItems(program.View().ArticleListCtrl().CreateContextMenu().get(), false), strContext);
        QCOMPARE(MenuItems(program.View().ProgressListCtrl().CreateContextMenu().get(), false),
                 "&Export Queue to GetRight|&Copy Queue to Clipboard|"
                 "Copy Queue to Clipboard (include Username and Password)|Clear &Queue|-|Move to &Top|"
                 "Edit Download &Path|Cancel &Download|&Remove");

        QStringList keys;
        for (int nId : {ID_ARTICLE_SELECTALL, ID_ARTICLE_FIND, ID_ARTICLE_ADDSUBJECTTOKILL, ID_QUEUE_SAVE,
                        ID_ARTICLE_FINDNEXT, IDC_CLEAR})
            keys << frame.FindAction(nId)->shortcut().toString();
        QCOMPARE(keys.join('|'), "Ctrl+A|Ctrl+F|Ctrl+K|Ctrl+S|F3|Ctrl+X");

        QStringList items;
        for (QAction* pAction : frame.ToolBar()->actions())
            items << (pAction->isSeparator() ? QStringLiteral("-")
                                             : pAction->data().toString() + ":" + pAction->statusTip());
        QCOMPARE(items.join('|'), "32778:Download the selected articles.|32799:Use a download manager|-|"
                                  "32785:Hide incomplete articles|32784:Filter articles|32782:Find articles|"
                                  "-|32790:Hang Up when done|32791:Power Off when done|-|"
                                  "57664:Display program information, version number and copyright");
        QCOMPARE(frame.FindAction(ID_APP_ABOUT)->toolTip(), QStringLiteral("About"));

        CAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Dravelin"));
        QCOMPARE(dlg.findChild<QLabel*>("VersionText")->text(),
                 QStringLiteral("Dravelin 2.0.7 Beta 2 build 807"));
    }

    void firstStartShowsVersionMessageAndDefaults()
    {
        CTestProgram program;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-86400);
        program.Start({"DisableProgressBytes"});
        const QDateTime after = QDateTime::currentDateTime().addSecs(-86400);
        QCOMPARE(program.m_prompts.m_messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(program.m_prompts.m_messages[0]).contains("incompatible"));
        QCOMPARE(program.Frame().pos(), QPoint(0, 0));
        QCOMPARE(program.Frame().size(), QSize(750, 496));
        QCOMPARE(program.Frame().windowTitle(), QStringLiteral("Dravelin"));
        // The date picker starts one day back; nothing to cancel yet.
        const qint64 nValue = program.Frame().DatePicker()->dateTime().toSecsSinceEpoch();
        QVERIFY(nValue >= before.toSecsSinceEpoch() && nValue <= after.toSecsSinceEpoch());
        QVERIFY(!program.View().CancelButton()->isEnabled());
        // The command line's switch reaches the downloads.
        const bool bProgressDisabled = CDownloadOptions::IsProgressDisabled();
        CDownloadOptions::Reset();
        QVERIFY(bProgressDisabled);
        // The status window keeps the newest lines until cleared.
        CDravelinView& view = program.View();
        const int nLines = CDravelinView::kMaxStatusLines + 5;
        for (int i = 0; i < nLines; ++i)
            view.AppendStatusLine("line " + std::to_string(i));
        const QStringList lines = QString::fromStdString(view.GetStatusText()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), CDravelinView::kMaxStatusLines);
        QCOMPARE(lines.front(), QStringLiteral("line 5"));
        QCOMPARE(lines.back(), QStringLiteral("line %1").arg(nLines - 1));
        program.Trigger(ID_TOOLS_CLEARSTATUS);
        QCOMPARE(view.GetStatusText(), std::string());
        view.AppendStatusLine("third");
        QCOMPARE(view.GetStatusText(), std::string("third"));
        // Nothing downloads: the window closes without a question.
        QVERIFY(program.Close());
        QVERIFY(program.m_prompts.m_questions.empty());
    }

    void serviceCommandsFollowSubscriptionsAndSetTitles_data() { AddRows(kServiceRows); }

    void serviceCommandsFollowSubscriptionsAndSetTitles()
    {
        const auto& row = Row(kServiceRows);
        CTestProgram program;
        program.StartWith(std::string("[Account]\nSubscriptions=") + row.pszAccount);
        const bool bAll = row.nCommand != 0;
        QCOMPARE(
            program.EnabledOf({ID_SERVICE_NEWSGUY, ID_SERVICE_NEWSGUYEXTRA, ID_SERVICE_EASYNEWS80,
                               ID_SERVICE_EASYNEWS81, ID_SERVICE_WEBUSENET, ID_SERVICE_WEBUSENETMEMBERS}),
            bAll ? "111100" : "100000");
        if (bAll)
        {
            QCOMPARE(program.CheckedOf(kServices), "0000");
            program.Trigger(row.nCommand);
        }
        for (int i = 0; i < 2; ++i) // and after a restart
        {
            QCOMPARE(program.Frame().windowTitle(), QString("Dravelin - ") + row.pszTitle);
            QCOMPARE(program.CheckedOf(kServices), row.pszChecked);
            program.Stop();
            QCOMPARE(program.Keys("Account", {"Active", "UseEasyNewsPort81"}), row.pszSaved);
            program.Start();
        }
    }

    void articleCommandsFollowRowsAndSelection()
    {
        CTestProgram program;
        program.StartWith();
        CDravelinView& view = program.View();
        const std::vector<int> ids = {ID_ARTICLE_SELECTALL,  ID_ARTICLE_INVERTSELECTION,
                                      ID_ARTICLE_REMOVE,     ID_ARTICLE_REMOVEALL,
                                      ID_QUEUE_CLEAR,        IDC_CLEAR,
                                      ID_USE_DOWNLOADMANAGER};
        QCOMPARE(program.EnabledOf(ids), "0000011");
        for (int i = 0; i < 5; ++i)
            AddListed(view, MakeArticle("subject " + std::to_string(i)));
        QCOMPARE(program.EnabledOf(ids), "1101011");

        // Ctrl+A reaches the list through the frame's accelerator.
        view.ArticleListCtrl().setFocus();
        program.Trigger(ID_ARTICLE_SELECTALL);
        QCOMPARE(view.Articles().GetSelectedCount(), 5);
        QCOMPARE(view.SelectedCountLabel()->text(), QStringLiteral("5"));
        QCOMPARE(program.EnabledOf(ids), "1111011");
        program.Trigger(ID_ARTICLE_INVERTSELECTION);
        QCOMPARE(view.Articles().GetSelectedCount(), 0);
        QCOMPARE(view.ArticleListCtrl().selectionModel()->selectedRows().size(), 0);
        QCOMPARE(program.EnabledOf(ids), "1101011");

        // The toolbar's download-manager button toggles the setting.
        QVERIFY(!program.Checked(ID_USE_DOWNLOADMANAGER));
        program.Trigger(ID_USE_DOWNLOADMANAGER);
        QVERIFY(program.Checked(ID_USE_DOWNLOADMANAGER));
        QCOMPARE(program.Doc().m_settings.m_bDoNotQueue, 1);

        // Ctrl+X is the Clear button: it empties the list.
        program.Trigger(IDC_CLEAR);
        QCOMPARE(view.Articles().GetItemCount(), 0);
        QCOMPARE(view.ArticleListCtrl().model()->rowCount(), 0);
        QCOMPARE(program.EnabledOf(ids), "0000011");
    }

    void placementIsSavedAndRestored_data() { AddRows(kPlacementRows); }

    void placementIsSavedAndRestored()
    {
        const auto& row = Row(kPlacementRows);
        CTestProgram program;
        program.WriteIni(CTestProgram::CompatibleIni("", row.pszWindow));
        program.Start();
        QCOMPARE(program.Frame().size(), row.startSize);
        if (row.setSize.isValid())
            program.Frame().setGeometry(QRect(QPoint(40, 30), row.setSize));
        else
            program.Frame().setWindowState(Qt::WindowStates(row.nStates));
        QApplication::processEvents();
        program.Stop();
        QCOMPARE(program.Keys("Dravelin", {"Maximized", "Minimized"}), row.pszSaved);
        const QRect saved(
            QPoint(program.GetInt("Dravelin", "Left"), program.GetInt("Dravelin", "Top")),
            QPoint(program.GetInt("Dravelin", "Right") - 1, program.GetInt("Dravelin", "Bottom") - 1));
        QCOMPARE(saved.size(), row.savedSize);
        program.Start();
        QCOMPARE(program.Frame().windowState(), Qt::WindowStates(row.nStates));
        if (row.nStates == 0)
            QCOMPARE(QRect(program.Frame().pos(), program.Frame().size()), saved);
    }

    void columnsAndFavouritesSavedAndRestored()
    {
        CTestProgram program;
        // A damaged total far beyond the keys present is read as a bounded count.
        program.StartWith("[Progress]\nColumn6=222\n[Favorites]\nTotal=2000000000\nNewsGroup1=alt."
                          "one\nNewsGroup2=\nNewsGroup3=alt.three\nNewsGroup4=\nNewsGroup5=alt.five\n");
        QHeaderView* pArticles = program.View().ArticleListCtrl().header();
        QHeaderView* pProgress = program.View().ProgressListCtrl().header();
        QList<int> widths;
        for (QHeaderView* pHeader : {pArticles, pProgress})
            for (int i = 0; i < pHeader->count(); ++i)
                widths << pHeader->sectionSize(i);
        // The article list's last column reaches the window's edge, and "kB/s"
        // and "Time remaining" start wide enough for their texts; the rest are
        // the defaults and the saved width.
        QCOMPARE(widths.mid(0, 5) + widths.mid(6, 3) + widths.mid(11),
                 QList<int>({18, 50, 90, 56, 364, 20, 171, 80, 80, 222}));
        QVERIFY(widths[5] >= 90 && widths[9] >= 40 && widths[10] >= 68);
        QComboBox* pBox = program.Frame().NewsgroupBox();
        QCOMPARE(pBox->count(), 3);
        QCOMPARE(pBox->itemText(0) + pBox->itemText(1) + pBox->itemText(2),
                 QStringLiteral("alt.onealt.threealt.five"));

        pArticles->resizeSection(4, 301);
        pProgress->resizeSection(1, 99);
        program.Stop();
        QCOMPARE(program.Keys("Articles", {"Column0", "Column4"}), "Column0=18|Column4=301");
        QCOMPARE(program.Keys("Progress", {"Column1", "Column6"}), "Column1=99|Column6=222");
        // Keys beyond the new total stay in the file and are no longer read.
        QCOMPARE(program.Keys("Favorites", {"Total", "Newsgroup1", "Newsgroup2", "Newsgroup3", "Newsgroup4",
                                            "Newsgroup5"}),
                 "Total=3|Newsgroup1=alt.one|Newsgroup2=alt.three|Newsgroup3=alt.five|Newsgroup4=|"
                 "Newsgroup5=alt.five");

        program.Start();
        QCOMPARE(program.View().ArticleListCtrl().header()->sectionSize(4), 301);
        QCOMPARE(program.View().ProgressListCtrl().header()->sectionSize(1), 99);
        QCOMPARE(program.Frame().NewsgroupBox()->count(), 3);
        // The session's end saves the state and the program keeps running: the
        // normal exit saves once more.
        program.Frame().NewsgroupBox()->addItem(QStringLiteral("alt.session"));
        program.View().ProgressListCtrl().header()->resizeSection(1, 123);
        program.App().CommitData();
        QCOMPARE(program.GetString("Favorites", "Newsgroup4"), std::string("alt.session"));
        QCOMPARE(program.GetInt("Progress", "Column1"), 123);
        QCOMPARE(program.GetInt("Dravelin", "Right"), program.Frame().NormalRect().right() + 1);
        // Wide: "kB/s" and "Time remaining" fit their titles and texts, and
        // both lists reach the window's edge.
        program.Frame().resize(1600, 700);
        QApplication::processEvents();
        auto pArticle = MakeArticle("s", "a", "01/01", 10, StateDownloading);
        pArticle->Transfer().m_fSpeed = 12345.6f;
        pArticle->Transfer().m_strTimeLeft = "12:34:56";
        AddListed(program.View(), pArticle, true);
        CArticleListCtrl& progress = program.View().ProgressListCtrl();
        pProgress = progress.header();
        const int nMargin = 2 * pProgress->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, pProgress);
        for (int nColumn : {3, 4})
        {
            const QString strTitle = progress.model()->headerData(nColumn, Qt::Horizontal).toString();
            QVERIFY(pProgress->sectionSize(nColumn) >=
                    pProgress->fontMetrics().horizontalAdvance(strTitle) + nMargin);
            const QModelIndex index = progress.model()->index(0, nColumn);
            QVERIFY(progress.visualRect(index).width() >
                    QFontMetrics(progress.font()).horizontalAdvance(index.data().toString()));
        }
        for (CArticleListCtrl* pList : {&program.View().ArticleListCtrl(), &progress})
        {
            QHeaderView* pHeader = pList->header();
            const int nLast = pHeader->count() - 1;
            QCOMPARE(pHeader->sectionViewportPosition(nLast) + pHeader->sectionSize(nLast),
                     pList->viewport()->width());
        }
        program.Frame().NewsgroupBox()->addItem(QStringLiteral("alt.later"));
        program.Stop();
        QCOMPARE(program.GetString("Favorites", "Newsgroup5"), std::string("alt.later"));
    }

    void counterLabelsNeverOverlap_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smallest") << QSize(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
        QTest::newRow("larger") << QSize(810, 536);
        QTest::newRow("wide") << QSize(1600, 500);
        QTest::newRow("tall") << QSize(760, 1100);
    }

    // The extra space goes to the lists (the height to the article list), the
    // rest moves with the edges; the counter labels never overlap.
    void counterLabelsNeverOverlap()
    {
        QFETCH(QSize, size);
        CTestProgram program;
        program.StartWith();
        CMainFrame& frame = program.Frame();
        CDravelinView& view = program.View();
        QWidget* widgets[] = {&view.ArticleListCtrl(), &view.ProgressListCtrl(), view.StatusWindow(),
                              view.CancelButton()};
        QRect before[4];
        for (int i = 0; i < 4; ++i)
            before[i] = InFrame(widgets[i], frame);
        auto* pBytes = view.findChild<QLabel*>(QStringLiteral("BytesToday"));
        auto* pReset = view.findChild<QLabel*>(QStringLiteral("ResetAt"));
        pBytes->setText(QStringLiteral("Bytes downloaded from NewsGuy Extra: 4294967295 of 4294967295"));
        pReset->setText(QStringLiteral("Reset at: 23:59"));
        const int dx = size.width() - frame.width(), dy = size.height() - frame.height();
        frame.resize(size);
        QApplication::processEvents();
        QCOMPARE(InFrame(widgets[0], frame), before[0].adjusted(0, 0, dx, dy));
        QCOMPARE(InFrame(widgets[1], frame), before[1].adjusted(0, dy, dx, dy));
        QCOMPARE(InFrame(widgets[2], frame), before[2].translated(dx, dy));
        QCOMPARE(InFrame(widgets[3], frame), before[3].translated(dx, dy));
        const QRect rcBytes = InFrame(pBytes, frame);
        const QRect rcReset = InFrame(pReset, frame);
        const QRect rcStatus = InFrame(view.StatusWindow(), frame);
        const QRect rcGroup = InFrame(view.ProgressGroup(), frame);
        QVERIFY(!rcBytes.intersects(rcReset) && !rcBytes.intersects(rcStatus) &&
                !rcReset.intersects(rcStatus));
        QVERIFY(rcGroup.contains(rcBytes) && rcGroup.contains(rcReset));
        QVERIFY(rcBytes.height() >= pBytes->sizeHint().height());
        QVERIFY(rcReset.width() >= pReset->sizeHint().width());
        QVERIFY(!rcBytes.intersects(InFrame(&view.ProgressListCtrl(), frame)));
    }

    void queueFileLoadedAtStartAndSavedAtExit()
    {
        CTestProgram program;
        program.WriteIni(
            CTestProgram::CompatibleIni("", "", "LoadQueue=1\nSaveQueue=1\nLoadOriginalQueue=1\n"));
        std::vector<ArticlePtr> stored;
        for (int nState : {StateQueued, StateDone, StateRemoving})
            stored.push_back(MakeArticle("stored " + std::to_string(nState), "a", "01/01", 10, nState));
        QVERIFY(CQueueFile::SaveQueueFile(program.Folder() + "/Dravelin.dvq", stored));
        // The removing article is not loaded; the others are, in their order.
        program.Start();
        CDravelinView& view = program.View();
        QCOMPARE(Column(view.ProgressListCtrl(), 1), QStringList({"stored 0", "stored 3"}));

        // A running download at exit is told to stop and left to its worker.
        auto pRunning = MakeArticle("running", "a", "01/01", 10, StateDownloading);
        pRunning->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        AddListed(view, pRunning, true);
        program.Stop();
        QCOMPARE(pRunning->m_nState, int(StateShutdown));
        QVERIFY(!pRunning->m_hRunEvent->IsSet());
        std::vector<ArticlePtr> saved;
        CQueueFile::ReadQueueFile(program.Folder() + "/Dravelin.dvq", saved);
        QCOMPARE(saved.size(), size_t(3));
        QCOMPARE(saved[2]->m_strSubject, std::string("running"));
    }

    void commandLineSwitches_data() { AddRows(kCommandLineRows); }

    void commandLineSwitches()
    {
        const auto& row = Row(kCommandLineRows);
        const CDravelinApp::CCommandLine cmd = CDravelinApp::ParseCommandLine(row.args);
        QCOMPARE(cmd.bError, row.pszDataDir == nullptr);
        if (cmd.bError)
            return;
        QCOMPARE(cmd.bDisableProgressBytes, row.bDisable);
        QCOMPARE(cmd.bDemo, row.bDemo);
        QCOMPARE(cmd.strDataDir, std::string(row.pszDataDir));
    }
};

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
