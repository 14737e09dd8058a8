// dravelin: the desktop program.

#include "app/DravelinApp.h"
#include "app/MainFrame.h"
#include "app/ShutdownSignals.h"
#include "gateway/real/UsenetGateway.h"
#include "model/NzbImport.h"
#include "settings/DataFolder.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#ifdef DRAVELIN_HAVE_DEMO
#include "demo/DemoMode.h"
#endif

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravelin"));
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
    std::string strUsenetStatus;
    if (CDataFolder folder; folder.Resolve(cmd.strDataDir))
    {
        usenet.Start(folder.GetIniPath(), strUsenetStatus);
        if (!strUsenetStatus.empty())
            std::fprintf(stderr, "dravelin: %s\n", strUsenetStatus.c_str());
    }

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
        // A signal handled by a start-up message box has ended only that box.
        if (!bSignalled)
            nResult = QApplication::exec();
    }
    return nResult;
}
