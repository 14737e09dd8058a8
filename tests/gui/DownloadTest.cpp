// The download side of the main window against the gateway simulator running
// in this process: queueing, the "Download to" dialog, the progress list's
// commands and double-click, Pause, the byte counter, the queue across a
// restart and closing while downloads run.

#include "GuiTestSupport.h"

#include "app/CommandIds.h"
#include "app/DownloadController.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "dialogs/DownloadToDlg.h"
#include "download/DownloadOptions.h"
#include "gateway/GatewaySimulator.h"
#include "lists/ArticleListCtrl.h"
#include "lists/ProgressBarDelegate.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <utility>

using guitest::CTestProgram;
using guitest::MakeArticle;

namespace
{
constexpr const char* kGroup = "dl.test";
constexpr const char* kAskRemoveQueued =
    "Article is queued for downloading.\nAre you sure you want to remove it from the queue?";
constexpr const char* kAskExportedAgain =
    "Article was copied to Clipboard.\nDo you want to download it again?";
constexpr const char* kIncomplete = "Article is incomplete. It cannot be downloaded!";

std::string AccountIni(const std::string& strHost)
{
    std::string strIni = "[Account]\nSubscriptions=19\nActive=1\n";
    for (const char* pszSection : {"NewsGuy", "NewsGuyExtra", "EasyNews"})
        strIni += std::string("[") + pszSection + "]\nHeaderDomain=" + strHost +
                  "\nDownloadDomain=" + strHost + "\nUsername=user\nPassword=secret\n";
    return strIni;
}

bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done())
    {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

int32_t StateOf(const ArticlePtr& pArticle)
{
    std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
    return pArticle->m_nState;
}

std::vector<std::string> Subjects(CArticleList& list)
{
    std::vector<std::string> subjects;
    for (int i = 0; i < list.GetItemCount(); ++i)
        subjects.push_back(list.GetArticle(i)->m_strSubject);
    return subjects;
}

void SelectOnly(CArticleList& list, const std::vector<int>& rows)
{
    for (int i = 0; i < list.GetItemCount(); ++i)
        list.SetItemState(i, 0, CArticleList::RowSelected);
    for (int nRow : rows)
        list.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);
}

// Rows of listed (complete) articles, every nStep-th of them: the corpus also
// lists incomplete articles, which cannot be downloaded.
std::vector<int> ListedRows(CArticleList& list, size_t nCount, int nStep = 1)
{
    std::vector<int> rows;
    int nSeen = 0;
    for (int i = 0; i < list.GetItemCount() && rows.size() < nCount; ++i)
        if (StateOf(list.GetArticle(i)) == StateListed && nSeen++ % nStep == 0)
            rows.push_back(i);
    return rows;
}

CCmdUI Update(CDravelinView& view, int nId)
{
    CCmdUI ui;
    view.OnUpdateCommand(nId, ui);
    return ui;
}

QToolButton* PauseButton(CDravelinView& view)
{
    for (QToolButton* pButton : view.findChildren<QToolButton*>())
        if (pButton->isCheckable())
            return pButton;
    return nullptr;
}

// A queued row of the progress list, as the queue file would bring it back.
ArticlePtr AddProgressRow(CDravelinView& view, const std::string& strSubject, int32_t nState)
{
    ArticlePtr pArticle = MakeArticle(strSubject, "author", "01/01", 1000, nState);
    pArticle->m_nService = 1;
    pArticle->m_nLists = ListProgress;
    pArticle->m_strDownloadPath = "/old/";
    view.Progress().AddArticleRow(pArticle);
    return pArticle;
}
} // namespace

class DownloadTest : public QObject
{
    Q_OBJECT

public slots:
    // The "open" of a finished file, caught instead of starting a program.
    void openUrl(const QUrl& url) { m_opened.push_back(url.toLocalFile()); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void threeSelectedArticlesDownloadIntoFolder();
    void progressDoubleClickActsByState();
    void downloadToSubjectProposesFolderAndCreatesIt();
    void downloadToDialogRules();
    void moveToTopUpAndDown();
    void progressBarPercent_data();
    void progressBarPercent();
    void pauseHoldsQueue();
    void dailyLimitPressesPause();
    void cancelledDownloadGoesDownAndRuns();
    void downloadEndingDuringQuestionKeepsListsConsistent();
    void counterLabelsAndIgnoreLimit();
    void queueSavedAtExitRestoredAtStart();
    void closingWhileDownloadingAsksOnce();

private:
    std::string Ini(const std::string& strPreferences, bool bQueueFile = false) const;
    // Lists the test group into the article list.
    void ListGroup(CTestProgram& program);
    std::string DownloadFolder(const CTestProgram& program) const { return program.Folder() + "/dl/"; }

    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::vector<QString> m_opened;
};

void DownloadTest::initTestCase()
{
    CDownloadOptions::SetFailureWaitMs(20);
    CGatewayOptions options;
    options.m_users = {{"user", "secret"}};
    options.m_nArticles = 10;
    options.m_nStallLimitMs = 5000;
    options.m_groups.push_back(CGatewayGroup{kGroup, 12, 0, 200000, false});
    m_pGateway = std::make_unique<CGatewaySimulator>(options);
    QVERIFY(m_pGateway->Start() != 0);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
}

void DownloadTest::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    m_pGateway->Stop();
    CDownloadOptions::Reset();
}

void DownloadTest::init()
{
    m_pGateway->ClearFaults();
    m_pGateway->SetDefaultFault(CGatewayFault{});
    m_opened.clear();
}

std::string DownloadTest::Ini(const std::string& strPreferences, bool bQueueFile) const
{
    const std::string strQueue = bQueueFile ? "LoadQueue=1\nSaveQueue=1\n" : "LoadQueue=0\nSaveQueue=0\n";
    return CTestProgram::CompatibleIni(AccountIni(m_pGateway->HostPort()), std::string(),
                                       strQueue + "MaxRetries=0\n" + strPreferences);
}

void DownloadTest::ListGroup(CTestProgram& program)
{
    program.Frame().NewsgroupBox()->setEditText(QString::fromLatin1(kGroup));
    QTest::mouseClick(program.Frame().GoButton(), Qt::LeftButton);
    QVERIFY(WaitFor(
        [&]
        { return program.View().GetStatusText().find("Done retrieving headers.") != std::string::npos; }));
    QCOMPARE(program.View().Articles().GetItemCount(), m_pGateway->ArticleCount(kGroup));
}

void DownloadTest::threeSelectedArticlesDownloadIntoFolder()
{
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    QVERIFY(!Update(view, ID_ARTICLE_DOWNLOAD).m_bEnabled);
    const std::vector<int> rows = ListedRows(view.Articles(), 3, 2);
    QCOMPARE(rows.size(), size_t(3));
    SelectOnly(view.Articles(), rows);
    QVERIFY(Update(view, ID_ARTICLE_DOWNLOAD).m_bEnabled);
    QVERIFY(view.OnCommand(ID_ARTICLE_DOWNLOAD));
    QCOMPARE(view.Progress().GetItemCount(), 3);

    std::vector<ArticlePtr> queued;
    for (int nRow : rows)
        queued.push_back(view.Articles().GetArticle(nRow));
    QVERIFY(WaitFor(
        [&]
        {
            for (const ArticlePtr& pArticle : queued)
                if (StateOf(pArticle) != StateDone)
                    return false;
            return true;
        }));
    QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
    for (const ArticlePtr& pArticle : queued)
    {
        CGatewayArticle gateway;
        bool bFound = false;
        for (const CGatewayArticle& g : m_pGateway->Articles(kGroup))
            if (g.m_strDecodeQuery == pArticle->m_strDecodeQuery)
            {
                gateway = g;
                bFound = true;
            }
        QVERIFY(bFound);
        QCOMPARE(pArticle->m_strDownloadPath, DownloadFolder(program));
        QCOMPARE(pArticle->m_strSavedName, m_pGateway->ServedFileName(gateway));
        const std::string strBody = testsupport::ReadFile(DownloadFolder(program) + pArticle->m_strSavedName);
        QCOMPARE(int64_t(strBody.size()), gateway.m_nSize);
        QVERIFY(strBody == m_pGateway->ExpectedBody(gateway));
        // The worker counted every byte it wrote.
        QCOMPARE(pArticle->m_nReceived.load(), gateway.m_nSize);
    }

    // Asked again from the article list, a finished article asks first.
    program.m_prompts.m_answers = {false};
    SelectOnly(view.Articles(), {rows[1]});
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
    QCOMPARE(program.m_prompts.m_questions[0],
             std::string("Article was downloaded successfully.\nDo you want to download it again?"));
    QCOMPARE(StateOf(queued[1]), int32_t(StateDone));

    // A double-click on the finished row opens its file.
    const int nRow = view.Progress().FindArticleRow(queued[1].get());
    SelectOnly(view.Progress(), {nRow});
    view.Downloads().OnProgressDoubleClick();
    QCOMPARE(m_opened.size(), size_t(1));
    QCOMPARE(m_opened[0].toStdString(), DownloadFolder(program) + queued[1]->m_strSavedName);
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
}

void DownloadTest::progressDoubleClickActsByState()
{
    CTestProgram program;
    // Nothing may start: the rows keep the states set here.
    program.WriteIni(Ini("DefaultPath=/tmp/default/\nMaxDownloads=0\n"));
    program.Start();
    CDravelinView& view = program.View();
    ArticlePtr pQueuedA = AddProgressRow(view, "queued a", StateQueued);
    ArticlePtr pQueuedB = AddProgressRow(view, "queued b", StateQueued);
    ArticlePtr pIncomplete = AddProgressRow(view, "incomplete", StateIncomplete);
    ArticlePtr pExported = AddProgressRow(view, "exported", StateExported);
    ArticlePtr pFailed = AddProgressRow(view, "failed", StateFailed);
    ArticlePtr pLast = AddProgressRow(view, "last", StateQueued);

    // Two adjacent queued rows: No keeps the first, Yes removes the second.
    program.m_prompts.m_answers = {false, true};
    SelectOnly(view.Progress(), {0, 1});
    view.Downloads().OnProgressDoubleClick();
    QCOMPARE(program.m_prompts.m_questions, std::vector<std::string>({kAskRemoveQueued, kAskRemoveQueued}));
    QCOMPARE(Subjects(view.Progress()),
             std::vector<std::string>({"queued a", "incomplete", "exported", "failed", "last"}));
    QCOMPARE(StateOf(pQueuedB), int32_t(StateListed));
    QCOMPARE(pQueuedB->m_nLists & ListProgress, 0);
    QCOMPARE(StateOf(pQueuedA), int32_t(StateQueued));

    // Incomplete: the message only; exported: asked, Yes queues it again;
    // failed: queued again without a question. Both go to the end with the
    // default folder.
    program.m_prompts.m_questions.clear();
    program.m_prompts.m_answers = {true};
    SelectOnly(view.Progress(), {1, 2, 3});
    view.Downloads().OnProgressDoubleClick();
    QCOMPARE(program.m_prompts.m_messages, std::vector<std::string>({kIncomplete}));
    QCOMPARE(program.m_prompts.m_questions, std::vector<std::string>({kAskExportedAgain}));
    QCOMPARE(Subjects(view.Progress()),
             std::vector<std::string>({"queued a", "incomplete", "last", "exported", "failed"}));
    for (const ArticlePtr& pArticle : {pExported, pFailed})
    {
        QCOMPARE(StateOf(pArticle), int32_t(StateQueued));
        QCOMPARE(pArticle->m_strDownloadPath, std::string("/tmp/default/"));
    }
    QCOMPARE(StateOf(pIncomplete), int32_t(StateIncomplete));
    QVERIFY(m_opened.empty());
    (void)pLast;
}

void DownloadTest::downloadToSubjectProposesFolderAndCreatesIt()
{
    CTestProgram program;
    const std::string strDefault = program.Folder() + "/dl/";
    std::filesystem::create_directories(strDefault);
    program.WriteIni(Ini("DefaultPath=" + strDefault + "\nMaxDownloads=0\n"));
    program.Start();
    CDravelinView& view = program.View();
    for (const char* pszSubject : {"zero", "  first subject \t", "second", "third"})
    {
        ArticlePtr pArticle = MakeArticle(pszSubject);
        pArticle->m_nService = 1;
        pArticle->m_nLists = ListArticles;
        view.Articles().AddArticleRow(pArticle);
    }
    SelectOnly(view.Articles(), {3, 1, 2});

    QString strProposed;
    view.Downloads().SetDialogRunner(
        [&](CDownloadToDlg& dlg)
        {
            strProposed = dlg.PathEdit()->text();
            return dlg.OnOK();
        });
    // No to the creation question keeps the dialog open: nothing queued.
    program.m_prompts.m_answers = {false};
    view.OnCommand(ID_ARTICLE_DOWNLOADTOSUBJECT);
    QCOMPARE(strProposed.toStdString(), strDefault + "first subject");
    QCOMPARE(program.m_prompts.m_questions,
             std::vector<std::string>(
                 {"'" + strDefault + "first subject/' does not exist.\nDo you want to create it?"}));
    QCOMPARE(view.Progress().GetItemCount(), 0);
    QVERIFY(!std::filesystem::exists(strDefault + "first subject"));

    program.m_prompts.m_answers = {true};
    view.OnCommand(ID_ARTICLE_DOWNLOADTOSUBJECT);
    QVERIFY(std::filesystem::is_directory(strDefault + "first subject"));
    QCOMPARE(view.Progress().GetItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(view.Progress().GetArticle(i)->m_strDownloadPath, strDefault + "first subject/");

    // The newsgroup variant proposes the trimmed group name.
    program.Frame().NewsgroupBox()->setEditText(QStringLiteral("  alt.binaries.x  "));
    view.Downloads().SetDialogRunner(
        [&](CDownloadToDlg& dlg)
        {
            strProposed = dlg.PathEdit()->text();
            return false;
        });
    view.OnCommand(ID_ARTICLE_DOWNLOADTONEWSGROUP);
    QCOMPARE(strProposed.toStdString(), strDefault + "alt.binaries.x");
}

void DownloadTest::downloadToDialogRules()
{
    testsupport::TempDir dir;
    testsupport::FakePrompts prompts;
    CDownloadToDlg dlg(prompts);
    const std::string strBase = dir.Path().string();

    // An existing folder, typed with blanks and without the separator:
    // no question, the separator is added.
    dlg.PathEdit()->setText(QString::fromStdString("  " + strBase + "  "));
    QVERIFY(dlg.OnOK());
    QCOMPARE(dlg.m_strFolder, strBase + "/");
    QVERIFY(prompts.m_questions.empty());

    // "&Browse..." starts on the text without its trailing separator.
    dlg.m_strFolder = strBase + "/";
    dlg.UpdateData();
    QCOMPARE(dlg.BrowseStartFolder().toStdString(), strBase);
    QCOMPARE(dlg.PathEdit()->maxLength(), 255);

    // Only one level is created: a missing parent fails and the dialog stays.
    const std::string strDeep = strBase + "/missing/child";
    dlg.PathEdit()->setText(QString::fromStdString(strDeep));
    prompts.m_answers = {true};
    QVERIFY(!dlg.OnOK());
    QCOMPARE(prompts.m_messages, std::vector<std::string>({"Failed to create directory!"}));
    QVERIFY(!std::filesystem::exists(strBase + "/missing"));

    // The process's current folder is left alone.
    const std::filesystem::path cwd = std::filesystem::current_path();
    dlg.PathEdit()->setText(QString::fromStdString(strBase + "/made/"));
    prompts.m_answers = {true};
    QVERIFY(dlg.OnOK());
    QVERIFY(std::filesystem::is_directory(strBase + "/made"));
    QCOMPARE(std::filesystem::current_path(), cwd);

    // Enabling: a selection, and DoNotQueue off or GetRight.
    CTestProgram program;
    program.WriteIni(Ini("DoNotQueue=1\nDownloadManager=1\nMaxDownloads=0\n"));
    program.Start();
    CDravelinView& view = program.View();
    view.Articles().AddArticleRow(MakeArticle("one"));
    SelectOnly(view.Articles(), {0});
    for (int nId : {ID_ARTICLE_DOWNLOADTO, ID_ARTICLE_DOWNLOADTONEWSGROUP, ID_ARTICLE_DOWNLOADTOSUBJECT})
        QVERIFY(!Update(view, nId).m_bEnabled);
    QVERIFY(Update(view, ID_ARTICLE_DOWNLOAD).m_bEnabled);
    {
        CPreferences& settings = program.App().Doc()->Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        settings.m_nDownloadManager = 4;
    }
    for (int nId : {ID_ARTICLE_DOWNLOADTO, ID_ARTICLE_DOWNLOADTONEWSGROUP, ID_ARTICLE_DOWNLOADTOSUBJECT})
        QVERIFY(Update(view, nId).m_bEnabled);
    // "&Start Downloading" needs rows and MaxDownloads above 0.
    QVERIFY(!Update(view, ID_QUEUE_STARTDOWNLOADING).m_bEnabled);
    AddProgressRow(view, "queued", StateQueued);
    QVERIFY(!Update(view, ID_QUEUE_STARTDOWNLOADING).m_bEnabled);
}

void DownloadTest::moveToTopUpAndDown()
{
    CTestProgram program;
    program.WriteIni(Ini("MaxDownloads=0\n"));
    program.Start();
    CDravelinView& view = program.View();
    for (const char* pszSubject : {"a", "b", "c", "d", "e", "f"})
        AddProgressRow(view, pszSubject, StateQueued);
    CArticleList& progress = view.Progress();

    SelectOnly(progress, {2, 5});
    QVERIFY(!Update(view, ID_PROGRESS_MOVETOTOP).m_bEnabled);
    view.OnCommand(IDC_UP);
    QCOMPARE(Subjects(progress), std::vector<std::string>({"a", "c", "b", "d", "f", "e"}));
    QVERIFY(progress.IsSelected(1) && progress.IsSelected(4));

    SelectOnly(progress, {0, 5});
    view.OnCommand(IDC_UP);
    view.OnCommand(IDC_DOWN);
    QCOMPARE(Subjects(progress), std::vector<std::string>({"a", "c", "b", "d", "f", "e"}));

    SelectOnly(progress, {1});
    view.OnCommand(IDC_DOWN);
    QCOMPARE(Subjects(progress), std::vector<std::string>({"a", "b", "c", "d", "f", "e"}));

    SelectOnly(progress, {4});
    QVERIFY(Update(view, ID_PROGRESS_MOVETOTOP).m_bEnabled);
    view.OnCommand(ID_PROGRESS_MOVETOTOP);
    QCOMPARE(Subjects(progress), std::vector<std::string>({"f", "a", "b", "c", "d", "e"}));

    SelectOnly(progress, {1, 2});
    QVERIFY(Update(view, ID_PROGRESS_REMOVE).m_bEnabled);
    view.OnCommand(ID_PROGRESS_REMOVE);
    QCOMPARE(Subjects(progress), std::vector<std::string>({"f", "c", "d", "e"}));

    // "Edit Download &Path" gives the queued rows the dialog's folder.
    testsupport::TempDir dir;
    view.Downloads().SetDialogRunner(
        [&](CDownloadToDlg& dlg)
        {
            dlg.PathEdit()->setText(QString::fromStdString(dir.Path().string()));
            return dlg.OnOK();
        });
    SelectOnly(progress, {0, 3});
    view.OnCommand(ID_PROGRESS_EDITPATH);
    QCOMPARE(progress.GetArticle(0)->m_strDownloadPath, dir.Path().string() + "/");
    QCOMPARE(progress.GetArticle(3)->m_strDownloadPath, dir.Path().string() + "/");
    QCOMPARE(progress.GetArticle(1)->m_strDownloadPath, std::string("/old/"));

    QVERIFY(Update(view, ID_QUEUE_CLEAR).m_bEnabled);
    view.OnCommand(ID_QUEUE_CLEAR);
    QCOMPARE(progress.GetItemCount(), 0);
    QVERIFY(!Update(view, ID_QUEUE_CLEAR).m_bEnabled);
}

void DownloadTest::progressBarPercent_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("received");
    QTest::addColumn<int>("percent");
    QTest::newRow("never started") << int(StateQueued) << 1000 << qint64(0) << -1;
    QTest::newRow("half way") << int(StateDownloading) << 1000 << qint64(500) << 50;
    QTest::newRow("rounded down") << int(StateDownloading) << 3 << qint64(2) << 66;
    QTest::newRow("large file") << int(StateDownloading) << 734003200 << qint64(734003199) << 99;
    QTest::newRow("failed keeps its part") << int(StateFailed) << 1000 << qint64(250) << 25;
    QTest::newRow("no size") << int(StateDownloading) << 0 << qint64(10) << -1;
    QTest::newRow("more than the size") << int(StateDownloading) << 100 << qint64(150) << 100;
    QTest::newRow("done") << int(StateDone) << 1000 << qint64(0) << 100;
}

void DownloadTest::progressBarPercent()
{
    QFETCH(int, state);
    QFETCH(int, size);
    QFETCH(qint64, received);
    QFETCH(int, percent);
    ArticlePtr pArticle = MakeArticle("bar", "author", "01/01", size, state);
    pArticle->m_nReceived = received;
    QCOMPARE(CProgressBarDelegate::Percent(*pArticle), percent);
}

void DownloadTest::pauseHoldsQueue()
{
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    QToolButton* pPause = PauseButton(view);
    QVERIFY(pPause != nullptr);
    QTest::mouseClick(pPause, Qt::LeftButton);
    QVERIFY(pPause->isChecked());
    QVERIFY(view.Downloads().Scheduler().IsPaused());

    const size_t nRequests = m_pGateway->RequestCount();
    SelectOnly(view.Articles(), ListedRows(view.Articles(), 2));
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    QTest::qWait(200);
    QCOMPARE(m_pGateway->RequestCount(), nRequests);
    QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
    QCOMPARE(StateOf(view.Progress().GetArticle(0)), int32_t(StateQueued));
    QCOMPARE(StateOf(view.Progress().GetArticle(1)), int32_t(StateQueued));

    QTest::mouseClick(pPause, Qt::LeftButton);
    QVERIFY(!pPause->isChecked());
    const ArticlePtr pFirst = view.Progress().GetArticle(0);
    const ArticlePtr pSecond = view.Progress().GetArticle(1);
    QVERIFY(WaitFor([&] { return StateOf(pFirst) == StateDone && StateOf(pSecond) == StateDone; }));
}

void DownloadTest::dailyLimitPressesPause()
{
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    const std::vector<int> rows = ListedRows(view.Articles(), 1);
    QCOMPARE(rows.size(), size_t(1));
    // A NewsGuy Extra article one byte larger than what is left of the allowance.
    const ArticlePtr pArticle = view.Articles().GetArticle(rows[0]);
    pArticle->m_nService = 2;
    CDailyCounter& counter = view.Downloads().Counter();
    counter.m_nBytesToday = 1000;
    counter.m_nMaxBytes = 1000 + static_cast<uint32_t>(pArticle->m_nSize) - 1;

    QToolButton* pPause = PauseButton(view);
    QVERIFY(pPause != nullptr && !pPause->isChecked());
    const size_t nRequests = m_pGateway->RequestCount();
    SelectOnly(view.Articles(), rows);
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    // Refused: the scheduler presses Pause and the article waits, uncounted.
    QVERIFY(pPause->isChecked());
    QCOMPARE(StateOf(pArticle), int32_t(StateQueued));
    QCOMPARE(counter.m_nBytesToday, 1000u);
    QTest::qWait(100);
    QCOMPARE(m_pGateway->RequestCount(), nRequests);

    // Ignoring the limit does not release Pause by itself; releasing it starts the article.
    view.OnCommand(ID_TOOLS_IGNORELIMIT);
    QVERIFY(pPause->isChecked());
    QTest::mouseClick(pPause, Qt::LeftButton);
    QVERIFY(!pPause->isChecked());
    QVERIFY(WaitFor([&] { return StateOf(pArticle) == StateDone; }));
    QCOMPARE(counter.m_nBytesToday, 1000u + static_cast<uint32_t>(pArticle->m_nSize));
}

void DownloadTest::cancelledDownloadGoesDownAndRuns()
{
    CGatewayFault slow;
    slow.m_nThrottle = 20000;
    m_pGateway->SetDefaultFault(slow);
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\nMaxDownloads=1\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    SelectOnly(view.Articles(), ListedRows(view.Articles(), 2));
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    const ArticlePtr pFirst = view.Progress().GetArticle(0);
    const ArticlePtr pSecond = view.Progress().GetArticle(1);
    QCOMPARE(StateOf(pFirst), int32_t(StateDownloading));
    QCOMPARE(StateOf(pSecond), int32_t(StateQueued));

    SelectOnly(view.Progress(), {});
    QVERIFY(!Update(view, ID_PROGRESS_CANCELDOWNLOAD).m_bEnabled);
    SelectOnly(view.Progress(), {0, 1});
    QVERIFY(Update(view, ID_PROGRESS_CANCELDOWNLOAD).m_bEnabled);
    view.OnCommand(ID_PROGRESS_CANCELDOWNLOAD);
    // Only the running one is cancelled; it goes below the queued one.
    QCOMPARE(view.Progress().GetArticle(0), pSecond);
    QCOMPARE(view.Progress().GetArticle(1), pFirst);
    QCOMPARE(StateOf(pFirst), int32_t(StateCancelled));
    QCOMPARE(StateOf(pSecond), int32_t(StateQueued));

    // A cancelled download is queued again, not dropped: both finish.
    m_pGateway->SetDefaultFault(CGatewayFault{});
    QVERIFY(WaitFor([&] { return StateOf(pFirst) == StateDone && StateOf(pSecond) == StateDone; }));
}

void DownloadTest::downloadEndingDuringQuestionKeepsListsConsistent()
{
    CGatewayFault slow;
    slow.m_nThrottle = 200000;
    m_pGateway->SetDefaultFault(slow);
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\nMaxDownloads=1\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    SelectOnly(view.Articles(), ListedRows(view.Articles(), 2));
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    const ArticlePtr pRunning = view.Progress().GetArticle(0);
    const ArticlePtr pWaiting = view.Progress().GetArticle(1);
    QCOMPARE(StateOf(pRunning), int32_t(StateDownloading));
    // The running download ends while "remove it?" is open; the next one starts.
    bool bFirst = true;
    program.m_prompts.m_fnWhileAsking = [&](const std::string&)
    {
        if (std::exchange(bFirst, false))
            QVERIFY(WaitFor([&] { return StateOf(pRunning) != StateDownloading; }));
    };
    SelectOnly(view.Progress(), {0, 1});
    view.OnCommand(ID_PROGRESS_REMOVE);
    program.m_prompts.m_fnWhileAsking = nullptr;
    QCOMPARE(view.Progress().GetItemCount(), 0);
    QCOMPARE(StateOf(pRunning), int32_t(StateDone));
    for (const ArticlePtr& pArticle : {pRunning, pWaiting})
    {
        QCOMPARE(pArticle->m_nLists & ListProgress, 0);
        QVERIFY(pArticle->m_nLists & ListArticles);
    }
    // The one started during the question stops and is listed again.
    QVERIFY(WaitFor([&] { return StateOf(pWaiting) == StateListed; }));
    QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 0);
}

void DownloadTest::counterLabelsAndIgnoreLimit()
{
    CTestProgram program;
    program.WriteIni(Ini("MaxDownloads=0\n"));
    program.Start();
    CDravelinView& view = program.View();
    CDailyCounter& counter = view.Downloads().Counter();
    auto* pBytes = view.findChild<QLabel*>(QStringLiteral("BytesToday"));
    auto* pReset = view.findChild<QLabel*>(QStringLiteral("ResetAt"));
    QVERIFY(pBytes && pReset);
    QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());
    QCOMPARE(pReset->text().toStdString(), counter.GetResetText());
    // Timer 1 runs towards the next reset, at most a day away.
    const int64_t nPeriod = view.Downloads().Clock().GetPeriod(CDailyCounter::kTimerId);
    QVERIFY(nPeriod > 0 && nPeriod <= CDailyCounter::kDayMs);

    ArticlePtr pExtra = MakeArticle("extra", "author", "01/01", 123456);
    pExtra->m_nService = 2;
    QVERIFY(counter.AddToDailyCounter(*pExtra, true));
    QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());
    const QString strCounted = pBytes->text();
    counter.OnTimer(CDailyCounter::kTimerId);
    QCOMPARE(counter.m_nBytesToday, 0u);
    QCOMPARE(pBytes->text().toStdString(), counter.GetCountText());
    QVERIFY(pBytes->text() != strCounted);
    QCOMPARE(view.Downloads().Clock().GetPeriod(CDailyCounter::kTimerId), CDailyCounter::kDayMs);

    QVERIFY(!Update(view, ID_TOOLS_IGNORELIMIT).m_bChecked);
    view.OnCommand(ID_TOOLS_IGNORELIMIT);
    QVERIFY(counter.IsIgnoringLimit());
    QVERIFY(Update(view, ID_TOOLS_IGNORELIMIT).m_bChecked);
}

void DownloadTest::queueSavedAtExitRestoredAtStart()
{
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    const std::string strPrefs = "DefaultPath=" + program.Folder() + "/dl/\n";
    program.WriteIni(Ini(strPrefs + "MaxDownloads=0\n", true));
    program.Start();
    ListGroup(program);
    SelectOnly(program.View().Articles(), ListedRows(program.View().Articles(), 3));
    program.View().OnCommand(ID_ARTICLE_DOWNLOAD);
    QCOMPARE(program.View().Progress().GetItemCount(), 3);
    std::vector<std::string> queries;
    for (int i = 0; i < 3; ++i)
        queries.push_back(program.View().Progress().GetArticle(i)->m_strDecodeQuery);
    program.Stop();

    // The next start may download: the loaded queue starts by itself.
    program.WriteIni(Ini(strPrefs, true));
    program.Start();
    CArticleList& progress = program.View().Progress();
    QCOMPARE(progress.GetItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(progress.GetArticle(i)->m_strDecodeQuery, queries[size_t(i)]);
    std::vector<ArticlePtr> rows;
    for (int i = 0; i < 3; ++i)
        rows.push_back(progress.GetArticle(i));
    QVERIFY(WaitFor(
        [&]
        {
            for (const ArticlePtr& pArticle : rows)
                if (StateOf(pArticle) != StateDone)
                    return false;
            return true;
        }));
    for (const ArticlePtr& pArticle : rows)
        QVERIFY(std::filesystem::is_regular_file(pArticle->m_strDownloadPath + pArticle->m_strSavedName));
}

void DownloadTest::closingWhileDownloadingAsksOnce()
{
    CGatewayFault stall;
    stall.m_nStallAfter = 1000;
    m_pGateway->SetDefaultFault(stall);
    CTestProgram program;
    std::filesystem::create_directories(program.Folder() + "/dl");
    program.WriteIni(Ini("DefaultPath=" + program.Folder() + "/dl/\n"));
    program.Start();
    CDravelinView& view = program.View();
    ListGroup(program);
    SelectOnly(view.Articles(), ListedRows(view.Articles(), 3));
    view.OnCommand(ID_ARTICLE_DOWNLOAD);
    QVERIFY(WaitFor([&] { return view.Downloads().Scheduler().GetActiveDownloads() == 2; }));
    const std::vector<ArticlePtr> rows = {view.Progress().GetArticle(0), view.Progress().GetArticle(1),
                                          view.Progress().GetArticle(2)};

    program.m_prompts.m_answers = {false};
    QVERIFY(!program.Close());
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(1));
    QCOMPARE(program.m_prompts.m_questions[0], std::string(CDravelinDoc::kQuitQuestion));
    QCOMPARE(view.Downloads().Scheduler().GetActiveDownloads(), 2);
    QCOMPARE(view.Progress().GetItemCount(), 3);
    QCOMPARE(StateOf(rows[0]), int32_t(StateDownloading));
    QCOMPARE(StateOf(rows[1]), int32_t(StateDownloading));
    QCOMPARE(StateOf(rows[2]), int32_t(StateQueued));

    // Yes: the running downloads are left to their workers, which stop quietly.
    program.m_prompts.m_answers = {true};
    QVERIFY(program.Close());
    QCOMPARE(program.m_prompts.m_questions.size(), size_t(2));
    QCOMPARE(StateOf(rows[0]), int32_t(StateShutdown));
    QCOMPARE(StateOf(rows[1]), int32_t(StateShutdown));
    QCOMPARE(rows[0]->m_nLists & ListProgress, 0);
    m_pGateway->SetDefaultFault(CGatewayFault{});
}

QTEST_MAIN(DownloadTest)
#include "DownloadTest.moc"
