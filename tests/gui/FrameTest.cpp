// The main frame and the view's set-up and shutdown: menus, command enabling,
// titles, placement, column widths, favourites, layout, the quit question.

#include "GuiTestSupport.h"

#include "app/CommandIds.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "dialogs/AboutDlg.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"
#include "model/QueueFile.h"

#if __has_include("download/DownloadOptions.h")
#include "download/DownloadOptions.h"
#endif

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <csignal>

using guitest::CTestProgram;
using guitest::MakeArticle;

namespace
{
QStringList MenuItems(QMenu* pMenu)
{
    QStringList items;
    for (QAction* pAction : pMenu->actions())
        items << (pAction->isSeparator() ? QStringLiteral("-")
                                         : pAction->text() + "=" + pAction->data().toString());
    return items;
}

QMenu* FindMenu(CMainFrame& frame, const QString& strTitle)
{
    for (QAction* pAction : frame.menuBar()->actions())
        if (pAction->text() == strTitle)
            return pAction->menu();
    return nullptr;
}

// The enabled state after an update pass.
bool Enabled(CMainFrame& frame, int nId)
{
    frame.UpdateCommandUI();
    return frame.FindAction(nId)->isEnabled();
}

bool Checked(CMainFrame& frame, int nId)
{
    frame.UpdateCommandUI();
    return frame.FindAction(nId)->isChecked();
}

QRect InFrame(QWidget* pWidget, CMainFrame& frame)
{
    return QRect(pWidget->mapTo(&frame, QPoint(0, 0)), pWidget->size());
}
} // namespace

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void menusCarryTextsIdsAndAccelerators();
    void toolbarOrderAndPrompts();
    void firstStartShowsVersionMessageAndDefaultPlacement();
    void serviceCommandsFollowSubscriptionsAndSetTitles_data();
    void serviceCommandsFollowSubscriptionsAndSetTitles();
    void activeServiceSurvivesRestart();
    void articleCommandsFollowRowsAndSelection();
    void placementIsSavedAndRestored();
    void smallSavedRectangleGrowsToMinimum();
    void maximizedWindowReopensMaximized();
    void minimizedFromMaximizedKeepsBoth();
    void columnWidthsSavedAndRestored();
    void favouritesSkipEmptyAndRewriteTotal();
    void extraHeightGoesToArticleList();
    void extraWidthGoesToLists();
    void counterLabelsNeverOverlap_data();
    void counterLabelsNeverOverlap();
    void quitQuestionOnlyWhileDownloading();
    void queueFileLoadedAtStartAndSavedAtExit();
    void terminationSignalSavesState_data();
    void terminationSignalSavesState();
    void sessionEndSavesStateAndKeepsRunning();
    void statusWindowLinesAndClear();
    void commandLineSwitches_data();
    void commandLineSwitches();
    void progressSwitchReachesDownloads();
    void aboutBoxTexts();
    void datePickerStartsOneDayBack();
};

void FrameTest::menusCarryTextsIdsAndAccelerators()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CMainFrame& frame = program.Frame();

    QStringList titles;
    for (QAction* pAction : frame.menuBar()->actions())
        titles << pAction->text();
    QCOMPARE(titles, QStringList({"&File", "&View", "&Service", "&Article", "&Queue", "&Tools", "&Help"}));

    QCOMPARE(MenuItems(FindMenu(frame, "&File")), QStringList({"&Preferences...=32771", "-", "E&xit=57665"}));
    QCOMPARE(
        MenuItems(FindMenu(frame, "&Service")),
        QStringList({"&NewsGuy=32772", "News&Guy Extra=32773", "&WebUseNet=32774", "WebUseNet &Members=32775",
                     "&EasyNews (Port 80)=32776", "Eas&yNews (Port 81)=32777"}));
    QCOMPARE(MenuItems(FindMenu(frame, "&Article")),
             QStringList({"&Download=32778",
                          "Download &to...=32779",
                          "Download to <news&group>...=32780",
                          "Download to <&subject>...=32781",
                          "-",
                          "Find...\tCtrl-F=32782",
                          "Find &Next\tF3=32783",
                          "F&ilter...=32784",
                          "&Hide Incomplete Articles=32785",
                          "-",
                          "&Kill Filter...=32806",
                          "Add Author to kill filter...=32807",
                          "Add Subject to kill filter...\tCtrl-K=32808",
                          "Apply Kill Filter=32813",
                          "-",
                          "Select &All\tCtrl-A=32786",
                          "In&vert Selection=32803",
                          "-",
                          "&Remove=32787",
                          "Remove All\tCtrl-X=32810"}));
    QCOMPARE(MenuItems(FindMenu(frame, "&Queue")),
             QStringList({"&Start Downloading=32798", "&Export Queue to GetRight=32812",
                          "&Copy Queue to Clipboard=32788",
                          "Copy Queue to Clipboard (include Username and Password)=32816", "-",
                          "Clear &Queue=32789", "-", "Sa&ve Queue\tCtrl-S=32805"}));
    QCOMPARE(MenuItems(FindMenu(frame, "&Tools")),
             QStringList({"&Hang Up when done=32790", "&Power Off when done=32791", "-",
                          "&Delete Temp Inet files=32792", "&Empty Recycle Bin=32793", "-",
                          "&Clear Status Window=32809", "-", "&Ignore NewsGuy download limit=32815"}));
    QCOMPARE(MenuItems(FindMenu(frame, "&Help")), QStringList({"&About Dravelin...=57664"}));

    struct
    {
        int nId;
        QKeySequence key;
    } accels[] = {{ID_ARTICLE_SELECTALL, QKeySequence("Ctrl+A")},
                  {ID_ARTICLE_FIND, QKeySequence("Ctrl+F")},
                  {ID_ARTICLE_ADDSUBJECTTOKILL, QKeySequence("Ctrl+K")},
                  {ID_QUEUE_SAVE, QKeySequence("Ctrl+S")},
                  {ID_ARTICLE_FINDNEXT, QKeySequence("F3")},
                  {IDC_CLEAR, QKeySequence("Ctrl+X")}};
    for (const auto& accel : accels)
        QCOMPARE(frame.FindAction(accel.nId)->shortcut(), accel.key);
}

void FrameTest::toolbarOrderAndPrompts()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    QStringList items;
    for (QAction* pAction : program.Frame().ToolBar()->actions())
        items << (pAction->isSeparator() ? QStringLiteral("-")
                                         : pAction->data().toString() + ":" + pAction->statusTip());
    QCOMPARE(items,
             QStringList({"32778:Download the selected articles.", "32799:Use a download manager", "-",
                          "32785:Hide incomplete articles", "32784:Filter articles", "32782:Find articles",
                          "-", "32790:Hang Up when done", "32791:Power Off when done", "-",
                          "57664:Display program information, version number and copyright"}));
    QCOMPARE(program.Frame().FindAction(ID_APP_ABOUT)->toolTip(), QStringLiteral("About"));
}

void FrameTest::firstStartShowsVersionMessageAndDefaultPlacement()
{
    CTestProgram program;
    program.Start();
    QCOMPARE(program.m_prompts.m_messages.size(), size_t(1));
    QVERIFY(QString::fromStdString(program.m_prompts.m_messages[0]).contains("incompatible"));
    QCOMPARE(program.Frame().pos(), QPoint(0, 0));
    QCOMPARE(program.Frame().size(), QSize(750, 496));
    QCOMPARE(program.Frame().windowTitle(), QStringLiteral("Dravelin"));
}

void FrameTest::serviceCommandsFollowSubscriptionsAndSetTitles_data()
{
    QTest::addColumn<int>("nCommand");
    QTest::addColumn<QString>("strTitle");
    QTest::addColumn<int>("nActive");
    QTest::addColumn<int>("nPort81");
    QTest::newRow("NewsGuy") << int(ID_SERVICE_NEWSGUY) << "Dravelin - NewsGuy" << 1 << 0;
    QTest::newRow("NewsGuy Extra") << int(ID_SERVICE_NEWSGUYEXTRA) << "Dravelin - NewsGuy Extra" << 2 << 0;
    QTest::newRow("EasyNews 80") << int(ID_SERVICE_EASYNEWS80) << "Dravelin - EasyNews:80" << 16 << 0;
    QTest::newRow("EasyNews 81") << int(ID_SERVICE_EASYNEWS81) << "Dravelin - EasyNews:81" << 16 << 1;
}

void FrameTest::serviceCommandsFollowSubscriptionsAndSetTitles()
{
    QFETCH(int, nCommand);
    QFETCH(QString, strTitle);
    QFETCH(int, nActive);
    QFETCH(int, nPort81);
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("[Account]\nSubscriptions=19\n"));
    program.Start();
    CMainFrame& frame = program.Frame();
    for (int nId :
         {ID_SERVICE_NEWSGUY, ID_SERVICE_NEWSGUYEXTRA, ID_SERVICE_EASYNEWS80, ID_SERVICE_EASYNEWS81})
    {
        QVERIFY(Enabled(frame, nId));
        QVERIFY(!Checked(frame, nId));
    }
    QVERIFY(!Enabled(frame, ID_SERVICE_WEBUSENET));
    QVERIFY(!Enabled(frame, ID_SERVICE_WEBUSENETMEMBERS));

    frame.FindAction(nCommand)->trigger();
    QCOMPARE(frame.windowTitle(), strTitle);
    for (int nId :
         {ID_SERVICE_NEWSGUY, ID_SERVICE_NEWSGUYEXTRA, ID_SERVICE_EASYNEWS80, ID_SERVICE_EASYNEWS81})
        QCOMPARE(Checked(frame, nId), nId == nCommand);
    program.Stop();
    QCOMPARE(program.GetInt("Account", "Active"), nActive);
    QCOMPARE(program.GetInt("Account", "UseEasyNewsPort81"), nPort81);
}

void FrameTest::activeServiceSurvivesRestart()
{
    CTestProgram program;
    // Only NewsGuy subscribed: the other services stay disabled.
    program.WriteIni(
        CTestProgram::CompatibleIni("[Account]\nSubscriptions=1\nActive=16\nUseEasyNewsPort81=1\n"));
    program.Start();
    CMainFrame& frame = program.Frame();
    QCOMPARE(frame.windowTitle(), QStringLiteral("Dravelin - EasyNews:81"));
    QVERIFY(Enabled(frame, ID_SERVICE_NEWSGUY));
    QVERIFY(!Enabled(frame, ID_SERVICE_NEWSGUYEXTRA));
    QVERIFY(!Enabled(frame, ID_SERVICE_EASYNEWS80));
    QVERIFY(Checked(frame, ID_SERVICE_EASYNEWS81));
    QVERIFY(!Checked(frame, ID_SERVICE_EASYNEWS80));
}

void FrameTest::articleCommandsFollowRowsAndSelection()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CMainFrame& frame = program.Frame();
    CDravelinView& view = program.View();
    QVERIFY(!Enabled(frame, ID_ARTICLE_SELECTALL));
    QVERIFY(!Enabled(frame, ID_ARTICLE_REMOVEALL));
    QVERIFY(!Enabled(frame, ID_QUEUE_CLEAR));
    QVERIFY(Enabled(frame, IDC_CLEAR));
    for (int i = 0; i < 5; ++i)
    {
        auto pArticle = MakeArticle("subject " + std::to_string(i));
        pArticle->m_nLists = ListArticles;
        view.ArticleListCtrl().AddArticleRow(pArticle);
    }
    QVERIFY(Enabled(frame, ID_ARTICLE_SELECTALL));
    QVERIFY(Enabled(frame, ID_ARTICLE_INVERTSELECTION));
    QVERIFY(!Enabled(frame, ID_ARTICLE_REMOVE));

    // Ctrl+A reaches the list through the frame's accelerator.
    view.ArticleListCtrl().setFocus();
    frame.FindAction(ID_ARTICLE_SELECTALL)->trigger();
    QCOMPARE(view.Articles().GetSelectedCount(), 5);
    QCOMPARE(view.SelectedCountLabel()->text(), QStringLiteral("5"));
    QVERIFY(Enabled(frame, ID_ARTICLE_REMOVE));

    frame.FindAction(ID_ARTICLE_INVERTSELECTION)->trigger();
    QCOMPARE(view.Articles().GetSelectedCount(), 0);
    QCOMPARE(view.ArticleListCtrl().selectionModel()->selectedRows().size(), 0);
    QVERIFY(!Enabled(frame, ID_ARTICLE_REMOVE));

    // The toolbar's download-manager button toggles the setting.
    QVERIFY(Enabled(frame, ID_USE_DOWNLOADMANAGER));
    QVERIFY(!Checked(frame, ID_USE_DOWNLOADMANAGER));
    frame.FindAction(ID_USE_DOWNLOADMANAGER)->trigger();
    QVERIFY(Checked(frame, ID_USE_DOWNLOADMANAGER));
    QCOMPARE(program.App().Doc()->Document().m_settings.m_bDoNotQueue, 1);

    // Ctrl+X is the Clear button: it empties the list.
    frame.FindAction(IDC_CLEAR)->trigger();
    QCOMPARE(view.Articles().GetItemCount(), 0);
    QCOMPARE(view.ArticleListCtrl().model()->rowCount(), 0);
    QVERIFY(!Enabled(frame, ID_ARTICLE_SELECTALL));
}

void FrameTest::placementIsSavedAndRestored()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    program.Frame().setGeometry(QRect(40, 30, 900, 600));
    QApplication::processEvents();
    program.Stop();
    QCOMPARE(program.GetInt("Dravelin", "Maximized"), 0);
    QCOMPARE(program.GetInt("Dravelin", "Minimized"), 0);
    QCOMPARE(program.GetInt("Dravelin", "Right") - program.GetInt("Dravelin", "Left"), 900);
    QCOMPARE(program.GetInt("Dravelin", "Bottom") - program.GetInt("Dravelin", "Top"), 600);

    const int nLeft = program.GetInt("Dravelin", "Left");
    const int nTop = program.GetInt("Dravelin", "Top");
    program.Start();
    QCOMPARE(program.Frame().size(), QSize(900, 600));
    QCOMPARE(program.Frame().pos(), QPoint(nLeft, nTop));
}

void FrameTest::smallSavedRectangleGrowsToMinimum()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("", "Left=10\nTop=20\nRight=110\nBottom=120\n"));
    program.Start();
    QCOMPARE(program.Frame().size(), QSize(750, 496));
    // The user cannot make it smaller either.
    program.Frame().resize(300, 200);
    QCOMPARE(program.Frame().size(), QSize(750, 496));
}

void FrameTest::maximizedWindowReopensMaximized()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("", "Left=10\nTop=20\nRight=810\nBottom=620\n"));
    program.Start();
    program.Frame().showMaximized();
    QApplication::processEvents();
    program.Stop();
    QCOMPARE(program.GetInt("Dravelin", "Maximized"), 1);
    QCOMPARE(program.GetInt("Dravelin", "Minimized"), 0);
    // The normal rectangle is the one to restore to, not the maximized one.
    QCOMPARE(program.GetInt("Dravelin", "Right") - program.GetInt("Dravelin", "Left"), 800);
    program.Start();
    QVERIFY(program.Frame().windowState() & Qt::WindowMaximized);
}

void FrameTest::minimizedFromMaximizedKeepsBoth()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("", "Left=10\nTop=20\nRight=810\nBottom=620\n"));
    program.Start();
    program.Frame().setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    QApplication::processEvents();
    program.Stop();
    QCOMPARE(program.GetInt("Dravelin", "Maximized"), 1);
    QCOMPARE(program.GetInt("Dravelin", "Minimized"), 1);
    QCOMPARE(program.GetInt("Dravelin", "Right") - program.GetInt("Dravelin", "Left"), 800);
    // Shown minimized again; restoring it maximizes it.
    program.Start();
    QCOMPARE(program.Frame().windowState(), Qt::WindowStates(Qt::WindowMaximized | Qt::WindowMinimized));
}

void FrameTest::columnWidthsSavedAndRestored()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("[Progress]\nColumn6=222\n"));
    program.Start();
    QHeaderView* pArticles = program.View().ArticleListCtrl().header();
    QHeaderView* pProgress = program.View().ProgressListCtrl().header();
    const int articleDefaults[] = {18, 50, 90, 56, 364, 90};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(pArticles->sectionSize(i), articleDefaults[i]);
    const int progressExpected[] = {20, 171, 80, 40, 68, 80, 222};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(pProgress->sectionSize(i), progressExpected[i]);

    pArticles->resizeSection(4, 301);
    pProgress->resizeSection(1, 99);
    program.Stop();
    QCOMPARE(program.GetInt("Articles", "Column4"), 301);
    QCOMPARE(program.GetInt("Articles", "Column0"), 18);
    QCOMPARE(program.GetInt("Progress", "Column1"), 99);
    QCOMPARE(program.GetInt("Progress", "Column6"), 222);

    program.Start();
    QCOMPARE(program.View().ArticleListCtrl().header()->sectionSize(4), 301);
    QCOMPARE(program.View().ProgressListCtrl().header()->sectionSize(1), 99);
}

void FrameTest::favouritesSkipEmptyAndRewriteTotal()
{
    CTestProgram program;
    // A damaged total far beyond the keys present is read as a bounded count.
    program.WriteIni(CTestProgram::CompatibleIni("[Favorites]\nTotal=2000000000\nNewsGroup1=alt.one\nNewsGroup2=\n"
                                                 "NewsGroup3=alt.three\nNewsGroup4=\nNewsGroup5=alt.five\n"));
    program.Start();
    QComboBox* pBox = program.Frame().NewsgroupBox();
    QCOMPARE(pBox->count(), 3);
    QCOMPARE(pBox->itemText(0), QStringLiteral("alt.one"));
    QCOMPARE(pBox->itemText(1), QStringLiteral("alt.three"));
    QCOMPARE(pBox->itemText(2), QStringLiteral("alt.five"));
    program.Stop();
    QCOMPARE(program.GetInt("Favorites", "Total"), 3);
    QCOMPARE(program.GetString("Favorites", "Newsgroup1"), std::string("alt.one"));
    QCOMPARE(program.GetString("Favorites", "Newsgroup2"), std::string("alt.three"));
    QCOMPARE(program.GetString("Favorites", "Newsgroup3"), std::string("alt.five"));
    // Keys beyond the new total stay in the file and are no longer read.
    QCOMPARE(program.GetString("Favorites", "Newsgroup5"), std::string("alt.five"));
    QCOMPARE(program.GetString("Favorites", "Newsgroup4"), std::string(""));
    program.Start();
    QCOMPARE(program.Frame().NewsgroupBox()->count(), 3);
}

void FrameTest::extraHeightGoesToArticleList()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CMainFrame& frame = program.Frame();
    CDravelinView& view = program.View();
    const QRect rcArticles = InFrame(&view.ArticleListCtrl(), frame);
    const QRect rcProgress = InFrame(&view.ProgressListCtrl(), frame);
    const QRect rcStatus = InFrame(view.StatusWindow(), frame);
    const QRect rcCancel = InFrame(view.CancelButton(), frame);
    frame.resize(frame.width(), frame.height() + 40);
    QApplication::processEvents();
    QCOMPARE(InFrame(&view.ArticleListCtrl(), frame), rcArticles.adjusted(0, 0, 0, 40));
    QCOMPARE(InFrame(&view.ProgressListCtrl(), frame), rcProgress.translated(0, 40));
    QCOMPARE(InFrame(view.StatusWindow(), frame), rcStatus.translated(0, 40));
    QCOMPARE(InFrame(view.CancelButton(), frame), rcCancel.translated(0, 40));
}

void FrameTest::extraWidthGoesToLists()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CMainFrame& frame = program.Frame();
    CDravelinView& view = program.View();
    const QRect rcArticles = InFrame(&view.ArticleListCtrl(), frame);
    const QRect rcProgress = InFrame(&view.ProgressListCtrl(), frame);
    const QRect rcStatus = InFrame(view.StatusWindow(), frame);
    const QRect rcCancel = InFrame(view.CancelButton(), frame);
    frame.resize(frame.width() + 60, frame.height());
    QApplication::processEvents();
    QCOMPARE(InFrame(&view.ArticleListCtrl(), frame), rcArticles.adjusted(0, 0, 60, 0));
    QCOMPARE(InFrame(&view.ProgressListCtrl(), frame), rcProgress.adjusted(0, 0, 60, 0));
    QCOMPARE(InFrame(view.StatusWindow(), frame), rcStatus.translated(60, 0));
    QCOMPARE(InFrame(view.CancelButton(), frame), rcCancel.translated(60, 0));
}

void FrameTest::counterLabelsNeverOverlap_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("smallest") << QSize(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
    QTest::newRow("wide") << QSize(1600, 500);
    QTest::newRow("tall") << QSize(760, 1100);
}

void FrameTest::counterLabelsNeverOverlap()
{
    QFETCH(QSize, size);
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CMainFrame& frame = program.Frame();
    CDravelinView& view = program.View();
    auto* pBytes = view.findChild<QLabel*>(QStringLiteral("BytesToday"));
    auto* pReset = view.findChild<QLabel*>(QStringLiteral("ResetAt"));
    pBytes->setText(QStringLiteral("Bytes downloaded from NewsGuy Extra: 4294967295 of 4294967295"));
    pReset->setText(QStringLiteral("Reset at: 23:59"));
    frame.resize(size);
    QApplication::processEvents();
    const QRect rcBytes = InFrame(pBytes, frame);
    const QRect rcReset = InFrame(pReset, frame);
    const QRect rcStatus = InFrame(view.StatusWindow(), frame);
    const QRect rcGroup = InFrame(view.ProgressGroup(), frame);
    QVERIFY(!rcBytes.intersects(rcReset));
    QVERIFY(!rcBytes.intersects(rcStatus));
    QVERIFY(!rcReset.intersects(rcStatus));
    QVERIFY(rcGroup.contains(rcBytes) && rcGroup.contains(rcReset));
    QVERIFY(rcBytes.height() >= pBytes->sizeHint().height());
    QVERIFY(rcReset.width() >= pReset->sizeHint().width());
    QVERIFY(!rcBytes.intersects(InFrame(&view.ProgressListCtrl(), frame)));
}

void FrameTest::quitQuestionOnlyWhileDownloading()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    program.App().Doc()->Document().m_nActiveDownloads = 1;
    program.m_prompts.m_answers = {false};
    QVERIFY(!program.Close());
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
    QCOMPARE(program.m_prompts.m_questions[0],
             std::string("Dravelin is still downloading.\r\nAre you sure you want to quit?"));
    QVERIFY(program.Frame().isVisible());

    program.App().Doc()->Document().m_nActiveDownloads = 0;
    QVERIFY(program.Close());
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
}

void FrameTest::queueFileLoadedAtStartAndSavedAtExit()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("", "", "LoadQueue=1\nSaveQueue=1\nLoadOriginalQueue=1\n"));
    std::vector<ArticlePtr> stored;
    for (int nState : {StateQueued, StateDone, StateRemoving})
        stored.push_back(MakeArticle("stored " + std::to_string(nState), "a", "01/01", 10, nState));
    QVERIFY(CQueueFile::SaveQueueFile(program.Folder() + "/Dravelin.dvq", stored));
    // The removing article is not loaded; the others are, in their order.
    program.Start();
    CDravelinView& view = program.View();
    QCOMPARE(view.ProgressListCtrl().model()->rowCount(), 2);
    QCOMPARE(view.ProgressListCtrl().model()->index(0, 1).data().toString(), QStringLiteral("stored 0"));

    // A running download at exit is told to stop and left to its worker.
    auto pRunning = MakeArticle("running", "a", "01/01", 10, StateDownloading);
    pRunning->m_nLists = ListProgress;
    pRunning->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
    view.ProgressListCtrl().AddArticleRow(pRunning);
    program.Stop();
    QCOMPARE(pRunning->m_nState, int(StateShutdown));
    QVERIFY(!pRunning->m_hRunEvent->IsSet());
    std::vector<ArticlePtr> saved;
    CQueueFile::ReadQueueFile(program.Folder() + "/Dravelin.dvq", saved);
    QCOMPARE(saved.size(), size_t(3));
    QCOMPARE(saved[2]->m_strSubject, std::string("running"));
}

void FrameTest::terminationSignalSavesState_data()
{
    QTest::addColumn<int>("nSignal");
    QTest::newRow("TERM") << int(SIGTERM);
    QTest::newRow("INT") << int(SIGINT);
    QTest::newRow("HUP") << int(SIGHUP);
}

// The real program in a child process, told to end by a signal.
void FrameTest::terminationSignalSavesState()
{
    QFETCH(int, nSignal);
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni("[Favorites]\nTotal=1\nNewsGroup1=alt.kept\n", std::string(),
                                                 "LoadQueue=0\nSaveQueue=1\n"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(DRAVELIN_PROGRAM),
                {QStringLiteral("--data-dir"), QString::fromStdString(program.Folder())});
    QVERIFY(child.waitForStarted());
    // The signal goes once the program catches it (or after a while anyway).
    const qint64 nPid = child.processId();
    QVERIFY(nPid > 0);
    const QString strStatus = QStringLiteral("/proc/%1/status").arg(nPid);
    const quint64 nMask = quint64(1) << (nSignal - 1);
    auto catches = [&]
    {
        QFile file(strStatus);
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) & nMask) != 0;
        return false;
    };
    for (int i = 0; i < 500 && !catches(); ++i)
        QTest::qWait(20);
    ::kill(static_cast<pid_t>(nPid), nSignal);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(program.GetInt("Account", "Active"), 0);
    QCOMPARE(program.GetString("Favorites", "Newsgroup1"), std::string("alt.kept"));
    QCOMPARE(program.GetInt("Articles", "Column4"), 364);
    QCOMPARE(program.GetInt("Progress", "Column6"), 180);
    QCOMPARE(program.GetInt("Dravelin", "Maximized"), 0);
    QVERIFY(QFile::exists(QString::fromStdString(program.Folder() + "/Dravelin.dvq")));
}

void FrameTest::sessionEndSavesStateAndKeepsRunning()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    program.Frame().NewsgroupBox()->addItem(QStringLiteral("alt.session"));
    program.View().ProgressListCtrl().header()->resizeSection(1, 123);
    program.App().CommitData();
    QCOMPARE(program.GetString("Favorites", "Newsgroup1"), std::string("alt.session"));
    QCOMPARE(program.GetInt("Progress", "Column1"), 123);
    QCOMPARE(program.GetInt("Dravelin", "Right"), program.Frame().NormalRect().right() + 1);
    // Still running: the normal exit saves once more.
    program.Frame().NewsgroupBox()->addItem(QStringLiteral("alt.later"));
    program.Stop();
    QCOMPARE(program.GetString("Favorites", "Newsgroup2"), std::string("alt.later"));
}

void FrameTest::statusWindowLinesAndClear()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    program.Start();
    CDravelinView& view = program.View();
    view.AppendStatusLine("first");
    view.AppendStatusLine("second");
    QCOMPARE(view.GetStatusText(), std::string("first\r\nsecond"));
    program.Frame().FindAction(ID_TOOLS_CLEARSTATUS)->trigger();
    QCOMPARE(view.GetStatusText(), std::string());
    view.AppendStatusLine("third");
    QCOMPARE(view.GetStatusText(), std::string("third"));
}

void FrameTest::commandLineSwitches_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("bDisable");
    QTest::addColumn<bool>("bDemo");
    QTest::addColumn<QString>("strDataDir");
    QTest::addColumn<bool>("bError");
    QTest::newRow("none") << QStringList() << false << false << "" << false;
    QTest::newRow("plain") << QStringList({"disableprogressbytes"}) << true << false << "" << false;
    QTest::newRow("any case, inside")
        << QStringList({"/DisableProgressBytes"}) << true << false << "" << false;
    QTest::newRow("with others") << QStringList({"--demo", "--data-dir", "/tmp/x", "xDISABLEPROGRESSBYTESx"})
                                 << true << true << "/tmp/x" << false;
    QTest::newRow("data dir =") << QStringList({"--data-dir=/tmp/y"}) << false << false << "/tmp/y" << false;
    QTest::newRow("data dir without value") << QStringList({"--data-dir"}) << false << false << "" << true;
}

void FrameTest::commandLineSwitches()
{
    QFETCH(QStringList, args);
    QFETCH(bool, bDisable);
    QFETCH(bool, bDemo);
    QFETCH(QString, strDataDir);
    QFETCH(bool, bError);
    std::vector<std::string> argv;
    for (const QString& str : args)
        argv.push_back(str.toStdString());
    const CDravelinApp::CCommandLine cmd = CDravelinApp::ParseCommandLine(argv);
    QCOMPARE(cmd.bError, bError);
    if (bError)
        return;
    QCOMPARE(cmd.bDisableProgressBytes, bDisable);
    QCOMPARE(cmd.bDemo, bDemo);
    QCOMPARE(QString::fromStdString(cmd.strDataDir), strDataDir);
}

void FrameTest::progressSwitchReachesDownloads()
{
#if __has_include("download/DownloadOptions.h")
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    CDravelinApp app;
    CDravelinApp::CCommandLine cmd =
        CDravelinApp::ParseCommandLine({"--data-dir", program.Folder(), "DisableProgressBytes"});
    QVERIFY(app.InitInstance(cmd, &program.m_prompts));
    const bool bDisabled = CDownloadOptions::IsProgressDisabled();
    CDownloadOptions::Reset();
    QVERIFY(bDisabled);
#else
    QSKIP("built without the download side");
#endif
}

void FrameTest::aboutBoxTexts()
{
    CAboutDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("About Dravelin"));
    auto* pVersion = dlg.findChild<QLabel*>("VersionText");
    QVERIFY(pVersion);
    QCOMPARE(pVersion->text(), QStringLiteral("Dravelin 2.0.7 Beta 2 build 807"));
}

void FrameTest::datePickerStartsOneDayBack()
{
    CTestProgram program;
    program.WriteIni(CTestProgram::CompatibleIni());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-86400);
    program.Start();
    const QDateTime after = QDateTime::currentDateTime().addSecs(-86400);
    const QDateTime value = program.Frame().DatePicker()->dateTime();
    QVERIFY(value.toSecsSinceEpoch() >= before.toSecsSinceEpoch());
    QVERIFY(value.toSecsSinceEpoch() <= after.toSecsSinceEpoch());
    QVERIFY(!program.View().CancelButton()->isEnabled());
}

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
