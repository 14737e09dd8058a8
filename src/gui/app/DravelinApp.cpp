#include "app/DravelinApp.h"

#include "app/DownloadController.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/GuiPrompts.h"
#include "app/MainFrame.h"
#include "app/ToolbarIcons.h"
#include "settings/DataFolder.h"

#include <QApplication>
#include <QSessionManager>

#include <algorithm>
#include <cctype>

// The download side's process-wide switches, once that part is built in.
#if __has_include("download/DownloadOptions.h")
#include "download/DownloadOptions.h"
#define DRAVELIN_HAVE_DOWNLOAD_OPTIONS 1
#endif

namespace
{
std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return str;
}
} // namespace

CDravelinApp::CCommandLine CDravelinApp::ParseCommandLine(const std::vector<std::string>& args)
{
    CCommandLine cmd;
    std::vector<std::string> rest = args;
    if (!CDataFolder::TakeDataDirOption(rest, cmd.strDataDir))
    {
        cmd.bError = true;
        cmd.strError = "--data-dir needs a folder";
        return cmd;
    }
    for (const std::string& strArg : rest)
    {
        // The switch was always found anywhere in the command line, in any case.
        if (Lower(strArg).find("disableprogressbytes") != std::string::npos)
            cmd.bDisableProgressBytes = true;
        else if (strArg == "--demo")
            cmd.bDemo = true;
        else if (!strArg.empty() && strArg[0] != '-')
            cmd.files.push_back(strArg);
    }
    return cmd;
}

CDravelinApp::CDravelinApp() = default;

CDravelinApp::~CDravelinApp()
{
    ExitInstance();
}

bool CDravelinApp::InitInstance(const CCommandLine& cmd, IPrompts* pPrompts, std::string* pError)
{
    CDataFolder folder;
    if (!folder.Resolve(cmd.strDataDir, pError))
        return false;
#ifdef DRAVELIN_HAVE_DOWNLOAD_OPTIONS
    if (cmd.bDisableProgressBytes)
        CDownloadOptions::SetProgressDisabled(true);
#endif
    if (pPrompts)
    {
        m_pPrompts = pPrompts;
    }
    else
    {
        m_pOwnPrompts = std::make_unique<CGuiPrompts>();
        m_pPrompts = m_pOwnPrompts.get();
    }

    // Document: accounts, then settings with the version check and its
    // message, which does not stop the start-up.
    m_pDoc = std::make_unique<CDravelinDoc>(folder);
    m_pDoc->SetUsenetGateway(m_pUsenet);
    m_pDoc->OnNewDocument(m_pPrompts);

    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(CToolbarIcons::Icon(ID_ARTICLE_DOWNLOAD));

    // Frame, then the view as its client area.
    m_pFrame = std::make_unique<CMainFrame>(*m_pDoc, *m_pPrompts);
    m_pView = new CDravelinView(*m_pDoc, *m_pPrompts, *m_pFrame);
    m_pFrame->SetView(m_pView);
    if (auto* pGuiPrompts = dynamic_cast<CGuiPrompts*>(m_pPrompts))
        pGuiPrompts->SetParent(m_pFrame.get());

    m_pView->OnInitialUpdate();
    // A session that ends gets the state written, as a normal exit would.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, m_pFrame.get(),
                     [this](QSessionManager&) { CommitData(); });
    // The placement is applied before the window is first shown.
    m_pFrame->ActivateFrame();
    // Files named on the command line join the queue (its saved part
    // already loaded), with the window there for a message.
    OpenFiles(cmd.files);
    return true;
}

void CDravelinApp::OpenFiles(const std::vector<std::string>& files)
{
    if (!m_pView)
        return;
    for (const std::string& strFile : files)
        m_pView->Downloads().OpenFile(strFile);
}

void CDravelinApp::CommitData()
{
    if (m_pView)
        m_pView->SaveState();
    if (m_pFrame)
        m_pFrame->SavePlacement();
}

void CDravelinApp::ExitInstance()
{
    // The frame's destruction runs the view's save first, then its own.
    m_pFrame.reset();
    m_pView = nullptr;
    m_pDoc.reset();
}
