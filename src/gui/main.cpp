// dravelin: the desktop program.

#include "DravelinVersion.h"
#include "app/DravelinApp.h"
#include "app/MainFrame.h"
#include "app/ShutdownSignals.h"
#include "app/SingleInstance.h"
#include "gateway/real/UsenetGateway.h"
#include "model/NzbImport.h"
#include "settings/DataFolder.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef DRAVELIN_HAVE_DEMO
#include "demo/DemoMode.h"
#include "gateway/NntpFace.h"
#endif

namespace
{
const char kUsage[] = "Usage: dravelin [--data-dir DIR] [--demo] [disableprogressbytes] [FILE...]\n"
                      "Lists newsgroups of web-based Usenet services and downloads their articles.\n"
                      "Each FILE, a queue file (.dvq) or an NZB file (.nzb), joins the download queue;\n"
                      "when Dravelin already runs on the same data folder, the files go to it.\n"
                      "\n"
                      "  --data-dir DIR        keep the settings, queue and kill files in DIR\n"
                      "  --demo                run against a gateway simulator inside the program\n"
                      "  disableprogressbytes  no speed and time remaining while downloading\n"
                      "  --help                show this text\n"
                      "  --version             show the version\n";

constexpr const char* kAlreadyRunning = "Dravelin is already running with the data folder\n%1\n\n"
                                        "Only one Dravelin can use a data folder at a time.";
} // namespace

int main(int argc, char** argv)
{
    // Answered before any display is needed.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
        {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("dravelin %s\n", DRAVELIN_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravelin"));
    // The desktop matches the window to its menu entry, and an installed
    // program shows the menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.dravelin.Dravelin"));
    if (QIcon::hasThemeIcon(QStringLiteral("dravelin")))
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dravelin")));
    // A termination signal ends the event loop like Exit does, without the
    // quit question; the state is saved as the program object goes.
    bool bSignalled = false;
    CShutdownSignals shutdownSignals(
        [&bSignalled](int)
        {
            bSignalled = true;
            QCoreApplication::exit(0);
        });

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    CDravelinApp::CCommandLine cmd = CDravelinApp::ParseCommandLine(args);
    if (cmd.bError)
    {
        std::fprintf(stderr, "dravelin: %s\n", cmd.strError.c_str());
        return 2;
    }

    // A queue file named by the shell must at least be readable; the document
    // takes nothing from it, as the program always did. An NZB file that
    // cannot be used gets its message in the window instead.
    for (const std::string& strFile : cmd.files)
    {
        if (!CNzbImport::IsNzbPath(strFile) && !std::ifstream(strFile, std::ios::binary))
        {
            std::fprintf(stderr, "dravelin: cannot open %s\n", strFile.c_str());
            return 1;
        }
    }

#ifdef DRAVELIN_HAVE_DEMO
    if (cmd.bDemo && cmd.strDataDir.empty())
        cmd.strDataDir = CDemoMode::DefaultFolder();
#endif
    // One program per data folder: a second start hands its files to the
    // first and ends before it reads or writes any file of the folder.
    CDataFolder folder;
    if (std::string strError; !folder.Resolve(cmd.strDataDir, &strError))
    {
        std::fprintf(stderr, "dravelin: %s\n", strError.c_str());
        return 1;
    }
    CSingleInstance instance(folder.GetPath());
    if (!instance.Lock())
    {
        std::vector<std::string> files;
        for (const std::string& strFile : cmd.files)
            files.push_back(
                QFileInfo(QString::fromLocal8Bit(strFile)).absoluteFilePath().toLocal8Bit().toStdString());
        if (instance.HandOff(files))
        {
            std::fprintf(stderr, "dravelin: Dravelin already runs on the data folder %s; %s\n",
                         folder.GetPath().c_str(),
                         files.empty() ? "its window was brought to the front" : "the files went to it");
            return 0;
        }
        const QString strText =
            QString::fromLatin1(kAlreadyRunning).arg(QString::fromLocal8Bit(folder.GetPath()));
        std::fprintf(stderr, "dravelin: %s\n",
                     strText.toLocal8Bit().replace("\n\n", " ").replace('\n', ' ').constData());
        QMessageBox::warning(nullptr, QStringLiteral("Dravelin"), strText);
        return 1;
    }

#ifdef DRAVELIN_HAVE_DEMO
    CDemoMode demo;
    if (cmd.bDemo)
    {
        std::string strError;
        if (!demo.Start(cmd.strDataDir, &strError))
        {
            std::fprintf(stderr, "dravelin: demo mode: %s\n", strError.c_str());
            return 1;
        }
        cmd.strDataDir = demo.DataFolder();
        std::fprintf(stderr, "dravelin: demo gateway on %s, data folder %s\n", demo.HostPort().c_str(),
                     demo.DataFolder().c_str());
    }
#else
    if (cmd.bDemo)
    {
        std::fprintf(stderr, "dravelin: this build has no demo gateway\n");
        return 1;
    }
#endif

    // Section [Usenet]: the gateway runs inside the program, and the NewsGuy
    // hosts follow it before the document reads its accounts.
    CUsenetGateway usenet;
#ifdef DRAVELIN_HAVE_DEMO
    if (cmd.bDemo && demo.Nntp())
        usenet.SetCacheFile("127.0.0.1", demo.Nntp()->Port(), demo.CacheFile());
#endif
    std::string strUsenetStatus;
    usenet.Start(folder.GetIniPath(), strUsenetStatus);
    if (!strUsenetStatus.empty())
        std::fprintf(stderr, "dravelin: %s\n", strUsenetStatus.c_str());

    int nResult = 0;
    {
        CDravelinApp dravelin;
        dravelin.SetUsenetGateway(&usenet);
        std::string strError;
        if (!dravelin.InitInstance(cmd, nullptr, &strError))
        {
            std::fprintf(stderr, "dravelin: %s\n", strError.c_str());
            return 1;
        }
        if (!strUsenetStatus.empty())
            dravelin.Frame()->MessagePane()->setText(QString::fromLocal8Bit(strUsenetStatus.c_str()));
        // Later starts on this data folder hand their files to this window.
        instance.Listen(
            [&dravelin](const std::vector<std::string>& files)
            {
                CMainFrame* pFrame = dravelin.Frame();
                if (pFrame->isMinimized())
                    pFrame->showNormal();
                pFrame->raise();
                pFrame->activateWindow();
                dravelin.OpenFiles(files);
            });
        // A signal handled by a start-up message box has ended only that box.
        if (!bSignalled)
            nResult = QApplication::exec();
    }
    return nResult;
}
