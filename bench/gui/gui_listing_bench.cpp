// Measures the desktop program on large listings, with the real window:
//   gui_listing_bench [--articles N] [--screenshot FILE]
// Without a display it runs offscreen. It prints the time from Go to the
// last row known to the list widget and to the end message, the longest gap
// of a 1 ms timer while the listing runs (an event-loop stall), and the time
// of a subject sort through a header click, repaint included.
// --screenshot lists a demo group instead and saves a picture of the screen.

#include "app/DravelinApp.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "demo/DemoMode.h"
#include "gateway/GatewaySimulator.h"
#include "lists/ArticleListCtrl.h"
#include "model/ArticleList.h"
#include "settings/ProfileFile.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace
{
class CSilentPrompts : public IPrompts
{
public:
    bool AskYesNo(const std::string&, PromptIcon) override { return true; }
    void ShowMessage(const std::string& strText, PromptIcon) override
    {
        std::fprintf(stderr, "message: %s\n", strText.c_str());
    }
};

// Records the longest gap between two ticks of a 1 ms timer.
class CStallMeter
{
public:
    void Start()
    {
        m_clock.start();
        m_nLast = 0;
        m_nMax = 0;
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this]
                         {
                             const qint64 nNow = m_clock.nsecsElapsed();
                             if (m_nLast != 0 && nNow - m_nLast > m_nMax)
                                 m_nMax = nNow - m_nLast;
                             if (m_nLast != 0 && nNow - m_nLast > 50000000 && std::getenv("BENCH_TRACE"))
                                 std::fprintf(stderr, "gap %.1f ms ending at %.1f ms\n",
                                              (nNow - m_nLast) / 1e6, nNow / 1e6);
                             m_nLast = nNow;
                         });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(1);
    }
    void Stop() { m_timer.stop(); }
    double MaxMs() const { return static_cast<double>(m_nMax) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nLast = 0;
    qint64 m_nMax = 0;
};

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Times every event the application delivers: the longest single handler
// tells our own work apart from time the thread spent descheduled.
class CTimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* pReceiver, QEvent* pEvent) override
    {
        if (!m_bTiming)
            return QApplication::notify(pReceiver, pEvent);
        const double fCpu = ThreadCpuMs();
        QElapsedTimer wall;
        wall.start();
        const bool bResult = QApplication::notify(pReceiver, pEvent);
        const double fCpuUsed = ThreadCpuMs() - fCpu;
        if (fCpuUsed > m_fMaxCpuMs)
        {
            m_fMaxCpuMs = fCpuUsed;
            m_nMaxType = static_cast<int>(pEvent->type());
        }
        m_nMaxWallMs = std::max(m_nMaxWallMs, wall.elapsed());
        return bResult;
    }
    bool m_bTiming = false;
    double m_fMaxCpuMs = 0;
    qint64 m_nMaxWallMs = 0;
    int m_nMaxType = 0;
};

// The resident set of this process and its high-water mark, in MB, from
// /proc/self/status; the gateway simulator runs in this process too.
std::string MemoryText()
{
    std::FILE* pFile = std::fopen("/proc/self/status", "r");
    if (!pFile)
        return "unknown";
    long nRssKb = -1;
    long nPeakKb = -1;
    char szLine[256];
    while (std::fgets(szLine, sizeof szLine, pFile))
    {
        std::sscanf(szLine, "VmRSS: %ld", &nRssKb);
        std::sscanf(szLine, "VmHWM: %ld", &nPeakKb);
    }
    std::fclose(pFile);
    return std::to_string(nRssKb / 1024) + " MB resident, peak " + std::to_string(nPeakKb / 1024) + " MB";
}

bool WaitUntil(const std::function<bool()>& fnDone, int nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!fnDone())
    {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::string TempFolder(const char* pszName)
{
    const auto path =
        std::filesystem::temp_directory_path() / (std::string(pszName) + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string();
}

int Screenshot(const std::string& strFile)
{
    CDemoMode demo;
    const std::string strFolder = TempFolder("dravelin-shot");
    std::string strError;
    if (!demo.Start(strFolder, &strError))
    {
        std::fprintf(stderr, "demo: %s\n", strError.c_str());
        return 1;
    }
    CSilentPrompts prompts;
    CDravelinApp app;
    CDravelinApp::CCommandLine cmd;
    cmd.strDataDir = demo.DataFolder();
    if (!app.InitInstance(cmd, &prompts))
        return 1;
    CMainFrame& frame = *app.Frame();
    CDravelinView& view = *app.View();
    frame.move(0, 0);
    frame.resize(900, 620);
    frame.NewsgroupBox()->setEditText(QStringLiteral("alt.binaries.demo.pictures"));
    frame.GoButton()->click();
    WaitUntil([&] { return view.GetStatusText().find("Done retrieving headers.") != std::string::npos; },
              30000);
    // A few rows in the queue, so both lists show.
    for (int i = 0; i < 4 && i < view.Articles().GetItemCount(); ++i)
    {
        ArticlePtr pArticle = view.Articles().GetArticle(i * 3);
        std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
        pArticle->m_nState = i == 0 ? StateDownloading : (i == 1 ? StateDone : StateQueued);
        pArticle->m_nLists |= ListProgress;
        pArticle->m_strDownloadPath = demo.DataFolder() + "/Downloads/";
        if (i == 0)
        {
            pArticle->Transfer().m_fSpeed = 812.4f;
            pArticle->Transfer().m_strTimeLeft = "00:00:42";
            pArticle->m_strSavedName = pArticle->m_strFileName;
        }
        view.ProgressListCtrl().AddArticleRow(pArticle);
    }
    view.ArticleListCtrl().selectionModel()->select(
        QItemSelection(view.ArticleListCtrl().model()->index(2, 0),
                       view.ArticleListCtrl().model()->index(4, 5)),
        QItemSelectionModel::ClearAndSelect);
    WaitUntil([] { return false; }, 500);
    QScreen* pScreen = QGuiApplication::primaryScreen();
    QPixmap shot =
        pScreen->grabWindow(0, 0, 0, frame.frameGeometry().width(), frame.frameGeometry().height());
    if (shot.isNull() || shot.toImage().allGray())
        shot = frame.grab();
    if (!shot.save(QString::fromStdString(strFile)))
        return 1;
    std::printf("screenshot: %s (%dx%d, platform %s)\n", strFile.c_str(), shot.width(), shot.height(),
                qPrintable(QGuiApplication::platformName()));
    return 0;
}

int Measure(int nArticles)
{
    CGatewayOptions options;
    options.m_groups.push_back(CGatewayGroup{"alt.binaries.bench", nArticles, 0, 0, false});
    CGatewaySimulator gateway(options);
    if (gateway.Start() == 0)
        return 1;
    const std::string strFolder = TempFolder("dravelin-bench");
    const std::string strIni = strFolder + "/Dravelin.ini";
    CProfileFile ini;
    ini.SetString("Dravelin", "Version", "2.0");
    ini.SetString("Dravelin", "CompatibleBuild", "0328");
    ini.SetInt("Preferences", "LoadQueue", 0);
    ini.SetInt("Preferences", "SaveQueue", 0);
    ini.SetInt("Account", "Subscriptions", 1);
    ini.SetInt("Account", "Active", 1);
    ini.SetString("NewsGuy", "HeaderDomain", gateway.HostPort());
    ini.SetString("NewsGuy", "DownloadDomain", gateway.HostPort());
    ini.Write(strIni);

    CSilentPrompts prompts;
    CDravelinApp app;
    CDravelinApp::CCommandLine cmd;
    cmd.strDataDir = strFolder;
    if (!app.InitInstance(cmd, &prompts))
        return 1;
    CMainFrame& frame = *app.Frame();
    CDravelinView& view = *app.View();
    QApplication::processEvents();
    const int nExpected = gateway.ArticleCount("alt.binaries.bench");

    CStallMeter stalls;
    stalls.Start();
    QElapsedTimer clock;
    frame.NewsgroupBox()->setEditText(QStringLiteral("alt.binaries.bench"));
    auto* pApp = static_cast<CTimedApplication*>(QCoreApplication::instance());
    pApp->m_bTiming = true;
    const double fCpuStart = ThreadCpuMs();
    clock.start();
    frame.GoButton()->click();
    qint64 nLastRowMs = -1;
    WaitUntil(
        [&]
        {
            if (nLastRowMs < 0 && view.ArticleListCtrl().model()->rowCount() >= nExpected)
                nLastRowMs = clock.elapsed();
            return nLastRowMs >= 0 &&
                   view.GetStatusText().find("Done retrieving headers.") != std::string::npos;
        },
        120000);
    const qint64 nDoneMs = clock.elapsed();
    // One more paint with the last rows in view.
    view.ArticleListCtrl().scrollToBottom();
    QApplication::processEvents();
    const qint64 nShownMs = clock.elapsed();
    const double fCpuMs = ThreadCpuMs() - fCpuStart;
    stalls.Stop();
    pApp->m_bTiming = false;
    std::printf("listing: %d rows; last row in the widget after %lld ms, end message after %lld ms, "
                "painted at the bottom after %lld ms\n",
                view.ArticleListCtrl().model()->rowCount(), static_cast<long long>(nLastRowMs),
                static_cast<long long>(nDoneMs), static_cast<long long>(nShownMs));
    std::printf("longest event-loop stall during the listing: %.1f ms; user-interface thread busy %.0f ms "
                "of the listing (the rest waits for the worker)\n",
                stalls.MaxMs(), fCpuMs);
    std::printf("memory after the listing: %s\n", MemoryText().c_str());
    std::printf("longest single event handler: %.1f ms of thread time (event type %d), %lld ms wall\n",
                pApp->m_fMaxCpuMs, pApp->m_nMaxType, static_cast<long long>(pApp->m_nMaxWallMs));

    QHeaderView* pHeader = view.ArticleListCtrl().header();
    for (int nRun = 0; nRun < 3; ++nRun)
    {
        QElapsedTimer sort;
        sort.start();
        const double fSortCpu = ThreadCpuMs();
        pHeader->sectionClicked(4);
        const qint64 nSortMs = sort.elapsed();
        const double fSortCpuMs = ThreadCpuMs() - fSortCpu;
        view.ArticleListCtrl().viewport()->repaint();
        QApplication::processEvents();
        std::printf("sort by subject (%s): %lld ms (%.0f ms of thread time), with repaint %lld ms\n",
                    view.Articles().m_bSortToggle ? "ascending" : "descending",
                    static_cast<long long>(nSortMs), fSortCpuMs, static_cast<long long>(sort.elapsed()));
    }
    std::printf("memory after the sorts: %s\n", MemoryText().c_str());
    // The core's share: the same articles, in listing order, sorted by a list
    // that no widget shows.
    {
        std::vector<ArticlePtr> articles;
        for (int i = 0; i < view.Articles().GetItemCount(); ++i)
            articles.push_back(view.Articles().GetArticle(i));
        std::sort(articles.begin(), articles.end(),
                  [](const ArticlePtr& a, const ArticlePtr& b)
                  { return a->m_strDecodeQuery < b->m_strDecodeQuery; });
        CArticleList bare(CArticleList::KindArticles);
        for (ArticlePtr& pArticle : articles)
            bare.AddArticleRow(pArticle);
        QElapsedTimer sort;
        sort.start();
        bare.SortByColumn(4);
        std::printf("core list alone, sort by subject from listing order: %lld ms\n",
                    static_cast<long long>(sort.elapsed()));
    }
    app.ExitInstance();
    std::filesystem::remove_all(strFolder);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    std::string strShot;
    int nArticles = 100000;
    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        if (strArg == "--screenshot" && i + 1 < argc)
            strShot = argv[++i];
        else if (strArg == "--articles" && i + 1 < argc)
            nArticles = std::atoi(argv[++i]);
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    CTimedApplication application(argc, argv);
    return strShot.empty() ? Measure(nArticles) : Screenshot(strShot);
}
