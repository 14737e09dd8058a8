#include "app/DownloadController.h"

#include "app/CommandIds.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "download/ArticleHandOff.h"
#include "dialogs/DownloadToDlg.h"
#include "download/ProgressCommands.h"
#include "lists/ArticleListCtrl.h"
#include "lists/ProgressBarDelegate.h"
#include "model/ArticleList.h"
#include "model/NzbImport.h"
#include "model/QueueDocument.h"
#include "model/QueueFile.h"
#include "ui/MessageSink.h"
#include "ui/Prompts.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QToolButton>
#include <QUrl>

#include <cctype>
#include <mutex>
#include <vector>

namespace
{
constexpr int32_t kGetRight = 4;
constexpr const char* kAskRemoveQueued =
    "Article is queued for downloading.\nAre you sure you want to remove it from the queue?";
constexpr const char* kAskExportedAgain = "Article was copied to Clipboard.\nDo you want to download it again?";
constexpr const char* kIncomplete = "Article is incomplete. It cannot be downloaded!";
constexpr const char* kBadNzb = "This NZB file cannot be used: it cannot be read, it is not an NZB file,\n"
                                "or it lists no files to download. Nothing was queued.";

std::string Trim(const std::string& strText)
{
    const char* pszBlanks = " \t\r\n\f\v";
    const size_t nFirst = strText.find_first_not_of(pszBlanks);
    if (nFirst == std::string::npos)
        return std::string();
    return strText.substr(nFirst, strText.find_last_not_of(pszBlanks) - nFirst + 1);
}
} // namespace

CDownloadController::CDownloadController(CDravelinView& view, CDravelinDoc& doc, IPrompts& prompts,
                                         CMainFrame& frame, QToolButton* pPause, QLabel* pBytesToday,
                                         QLabel* pResetAt)
    : m_view(view), m_doc(doc), m_prompts(prompts), m_frame(frame), m_btnPause(pPause),
      m_stcBytesToday(pBytesToday), m_stcResetAt(pResetAt), m_clock([this](int nId) { m_counter.OnTimer(nId); })
{
    m_pScheduler = std::make_unique<CDownloadScheduler>(doc.DocumentPtr(), view.Articles(), view.Progress(),
                                                        view.SinkPtr(), &m_prompts);
    m_pScheduler->SetDailyCounter(&m_counter);
    m_notifier.SetEnabled(CDesktopNotifier::ReadEnabled(doc.GetIniPath()));
    m_btnPause->setCheckable(true);
    m_pScheduler->SetPauseChanged([this](bool bPaused) { m_btnPause->setChecked(bPaused); });

    // The counter comes before the queue file so that a loaded queue is
    // measured against today's count.
    m_counter.SetLabelsChanged([this] { UpdateCounterLabels(); });
    m_counter.SetupDailyCounter(doc.GetIniPath(), &m_clock);
    UpdateCounterLabels();

    // The bar goes into "Size (bytes)"; the columns and their widths stay.
    constexpr int kSizeColumn = 5;
    m_view.ProgressListCtrl().setItemDelegateForColumn(
        kSizeColumn, new CProgressBarDelegate(view.Progress(), &m_view.ProgressListCtrl()));

    m_view.SetDownloadMessageHandler([this](const CViewMessage& msg) { OnDownloadMessage(msg); });
    QObject::connect(&m_view.ProgressListCtrl(), &QAbstractItemView::doubleClicked, &m_view,
                     [this](const QModelIndex& index)
                     {
                         if (index.isValid())
                             OnProgressDoubleClick();
                     });
    RegisterCommands();
}

CDownloadController::~CDownloadController()
{
    OnShutdown();
}

void CDownloadController::OnQueueLoaded()
{
    if (m_view.Progress().GetItemCount() > 0)
        StartDownloads();
}

void CDownloadController::OnShutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    m_clock.KillTimer(CDailyCounter::kTimerId);
    m_pScheduler->ShutdownDownloads();
}

void CDownloadController::StartDownloads()
{
    m_pScheduler->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
    m_pScheduler->StartDownloads();
}

void CDownloadController::OnDownloadMessage(const CViewMessage& msg)
{
    if (m_bShutDown)
        return;
    // Progress reports (WM_STATUS_TEXT, wParam 1) have had their row redrawn
    // by the view when "UpdateArticleStatus" is on; nothing else to do.
    if (msg.nMessage == WM_DOWNLOAD_DONE || msg.nMessage == WM_DISK_FULL)
    {
        int32_t nStateBefore = StateListed;
        if (msg.pArticle)
        {
            std::lock_guard<std::recursive_mutex> lock(msg.pArticle->m_lock);
            nStateBefore = msg.pArticle->m_nState;
        }
        m_pScheduler->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
        m_pScheduler->HandleMessage(msg);
        NotifyDesktop(msg, nStateBefore);
        m_frame.UpdateCommandUI();
    }
}

void CDownloadController::NotifyDesktop(const CViewMessage& msg, int32_t nStateBefore)
{
    if (msg.nMessage == WM_DISK_FULL)
    {
        // Every running download may run into it; once is enough.
        if (!m_bDiskFullTold)
            m_notifier.DiskFull();
        m_bDiskFullTold = true;
        return;
    }
    if (msg.pArticle && nStateBefore == StateDownloading)
    {
        ++m_nRunEnded;
        std::lock_guard<std::recursive_mutex> lock(msg.pArticle->m_lock);
        if (msg.pArticle->m_nState == StateDone)
        {
            ++m_nRunFiles;
            m_nRunBytes += msg.pArticle->GetSize();
            m_bDiskFullTold = false;
        }
        else if (msg.pArticle->m_nState == StateFailed)
        {
            m_notifier.DownloadFailed(msg.pArticle->m_strSubject, msg.pArticle->GetTransfer().m_strLastError);
        }
    }
    if (m_nRunEnded == 0 || m_pScheduler->GetActiveDownloads() > 0)
        return;
    CArticleList& progress = m_view.Progress();
    for (int i = 0; i < progress.GetItemCount(); ++i)
    {
        const ArticlePtr& pArticle = progress.GetArticle(i);
        std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
        if (pArticle->m_nState == StateQueued)
            return; // paused, or waiting for the daily allowance
    }
    m_notifier.QueueDone(m_nRunFiles, m_nRunBytes);
    m_nRunEnded = 0;
    m_nRunFiles = 0;
    m_nRunBytes = 0;
    m_bDiskFullTold = false;
}

void CDownloadController::UpdateCounterLabels()
{
    m_stcBytesToday->setText(QString::fromLocal8Bit(m_counter.GetCountText()));
    m_stcBytesToday->setToolTip(m_stcBytesToday->text());
    m_stcResetAt->setText(QString::fromLocal8Bit(m_counter.GetResetText()));
}

bool CDownloadController::ImportNzbFile(const std::string& strPath)
{
    const std::string strFolder = GetDefaultPath();
    CNzbImportResult result = CNzbImport::FromFile(strPath, strFolder);
    for (const std::string& strWarning : result.warnings)
        m_view.AppendStatusLine(strPath + ": " + strWarning);
    if (!result.IsOk())
    {
        m_view.AppendStatusLine(strPath + ": " + result.strError);
        m_prompts.ShowMessage(kBadNzb, PromptIcon::Exclamation);
        return false;
    }
    bool bHandOff = false;
    {
        CPreferences& settings = m_doc.Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        bHandOff = settings.m_bDoNotQueue && m_pHandOff != nullptr;
    }
    for (const ArticlePtr& pArticle : result.articles)
    {
        if (bHandOff)
            m_pHandOff->HandOffArticle(pArticle, -1, strFolder);
        else
            m_pScheduler->QueueArticle(pArticle, -1, strFolder);
    }
    std::string strLine(bHandOff ? "Handed " : "Queued ");
    strLine += std::to_string(result.articles.size());
    strLine += " file(s) from ";
    strLine += strPath;
    if (bHandOff)
        strLine += " to the download manager";
    m_view.AppendStatusLine(strLine);
    return true;
}

bool CDownloadController::IsQueueFilePath(const std::string& strPath)
{
    if (strPath.size() < 4)
        return false;
    std::string strExt = strPath.substr(strPath.size() - 4);
    for (char& c : strExt)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strExt == ".dvq";
}

bool CDownloadController::OpenFile(const std::string& strPath)
{
    return CNzbImport::IsNzbPath(strPath) ? ImportNzbFile(strPath) : ImportQueueFile(strPath);
}

bool CDownloadController::ImportQueueFile(const std::string& strPath)
{
    bool bLoadAll;
    {
        CPreferences& settings = m_doc.Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        bLoadAll = settings.m_bLoadOriginalQueue != 0;
    }
    const CQueueLoadResult result = CQueueFile::LoadQueueFile(strPath, bLoadAll, m_view.Progress());
    if (!result.bFileFound || result.bMalformed)
        m_view.AppendStatusLine(strPath + ": " +
                                (result.strError.empty() ? "cannot be read" : result.strError));
    if (!result.bFileFound)
        return false;
    m_view.AppendStatusLine("Queued " + std::to_string(result.nListed) + " file(s) from " + strPath);
    if (result.nListed == 0)
        return false;
    StartDownloads();
    m_frame.UpdateCommandUI();
    return true;
}

void CDownloadController::OnImportNzb()
{
    std::vector<std::string> files;
    if (m_fnChooseNzb)
        files = m_fnChooseNzb();
    else
        for (const QString& strFile : QFileDialog::getOpenFileNames(
                 &m_view, QStringLiteral("Import NZB"), QString(), QStringLiteral("NZB files (*.nzb)")))
            files.push_back(strFile.toLocal8Bit().toStdString());
    for (const std::string& strFile : files)
        ImportNzbFile(strFile);
}

std::string CDownloadController::GetDefaultPath() const
{
    CPreferences& settings = m_doc.Document().m_settings;
    std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
    return settings.m_strDefaultPath;
}

bool CDownloadController::CanDownloadTo() const
{
    if (m_view.Articles().GetSelectedCount() == 0)
        return false;
    CPreferences& settings = m_doc.Document().m_settings;
    std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
    return !settings.m_bDoNotQueue || settings.m_nDownloadManager == kGetRight;
}

bool CDownloadController::RunFolderDialog(std::string& strFolder)
{
    CDownloadToDlg dlg(m_prompts, &m_view);
    dlg.m_strFolder = strFolder;
    bool bOK;
    if (m_fnRunDialog)
    {
        dlg.UpdateData();
        bOK = m_fnRunDialog(dlg);
    }
    else
    {
        bOK = dlg.exec() == QDialog::Accepted;
    }
    if (bOK)
        strFolder = dlg.m_strFolder;
    return bOK;
}

void CDownloadController::DownloadTo(const std::string& strProposal)
{
    std::string strFolder = strProposal;
    if (!RunFolderDialog(strFolder))
        return;
    m_pScheduler->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
    m_pScheduler->QueueSelectedArticles(strFolder);
}

void CDownloadController::OnProgressDoubleClick()
{
    CArticleList& progress = m_view.Progress();
    CArticleList& articles = m_view.Articles();
    bool bDoNotQueue;
    std::string strDefault;
    {
        CPreferences& settings = m_doc.Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        bDoNotQueue = settings.m_bDoNotQueue != 0;
        strDefault = settings.m_strDefaultPath;
    }
    // Without a hand-off installed, queueing is the only way.
    auto queue = [&](const ArticlePtr& pArticle)
    {
        const int nRow = articles.FindArticleRow(pArticle.get());
        if (bDoNotQueue && m_pHandOff)
            m_pHandOff->HandOffArticle(pArticle, nRow, strDefault);
        else
            m_pScheduler->QueueArticle(pArticle, nRow, strDefault);
    };
    // The rows selected now, each acted on once whatever the others do.
    std::vector<ArticlePtr> selected;
    for (int i = 0; i < progress.GetItemCount(); ++i)
        if (progress.IsSelected(i))
            selected.push_back(progress.GetArticle(i));

    auto setRedraw = [this](bool bRedraw)
    {
        m_view.ArticleListCtrl().SetRedraw(bRedraw);
        m_view.ProgressListCtrl().SetRedraw(bRedraw);
    };
    auto ask = [&](const char* pszText)
    {
        setRedraw(true);
        const bool bYes = m_prompts.AskYesNo(pszText, PromptIcon::Question);
        setRedraw(false);
        return bYes;
    };
    m_pScheduler->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
    setRedraw(false);
    for (const ArticlePtr& pArticle : selected)
    {
        std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
        switch (pArticle->m_nState)
        {
        case StateListed:
        case StateFailed:
            queue(pArticle);
            break;
        case StateQueued:
            if (ask(kAskRemoveQueued))
            {
                pArticle->m_nState = StateListed;
                pArticle->m_nLists &= ~ListProgress;
                const int nRow = progress.FindArticleRow(pArticle.get());
                if (nRow >= 0)
                    progress.DeleteRow(nRow);
                articles.RedrawArticleRow(pArticle.get());
            }
            break;
        case StateExported:
            if (ask(kAskExportedAgain))
                queue(pArticle);
            break;
        case StateDone:
        {
            std::string strPath = pArticle->m_strDownloadPath;
            if (!strPath.empty() && strPath.back() != '/')
                strPath += '/';
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(strPath + pArticle->m_strSavedName)));
            break;
        }
        case StateIncomplete:
            setRedraw(true);
            m_prompts.ShowMessage(kIncomplete, PromptIcon::Exclamation);
            setRedraw(false);
            break;
        default:
            break;
        }
    }
    setRedraw(true);
    m_frame.UpdateCommandUI();
}

void CDownloadController::RegisterCommands()
{
    CArticleList& articles = m_view.Articles();
    CArticleList& progress = m_view.Progress();
    auto articleSelection = [&articles](CCmdUI& ui) { ui.m_bEnabled = articles.GetSelectedCount() > 0; };
    auto progressSelection = [&progress](CCmdUI& ui) { ui.m_bEnabled = progress.GetSelectedCount() > 0; };
    auto downloadTo = [this](CCmdUI& ui) { ui.m_bEnabled = CanDownloadTo(); };

    m_view.RegisterCommand(
        ID_ARTICLE_DOWNLOAD,
        [this]
        {
            m_pScheduler->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
            m_pScheduler->QueueSelectedArticles(GetDefaultPath());
        },
        articleSelection);
    m_view.RegisterCommand(
        ID_ARTICLE_DOWNLOADTO, [this] { DownloadTo(GetDefaultPath()); }, downloadTo);
    m_view.RegisterCommand(ID_FILE_IMPORTNZB, [this] { OnImportNzb(); });
    m_view.RegisterCommand(
        ID_ARTICLE_DOWNLOADTONEWSGROUP,
        [this]
        {
            const std::string strGroup =
                Trim(m_frame.NewsgroupBox()->currentText().toLocal8Bit().toStdString());
            DownloadTo(GetDefaultPath() + strGroup);
        },
        downloadTo);
    m_view.RegisterCommand(
        ID_ARTICLE_DOWNLOADTOSUBJECT,
        [this, &articles]
        {
            for (int i = 0; i < articles.GetItemCount(); ++i)
            {
                if (!articles.IsSelected(i))
                    continue;
                const ArticlePtr pArticle = articles.GetArticle(i);
                std::string strSubject;
                {
                    std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
                    strSubject = pArticle->m_strSubject;
                }
                DownloadTo(GetDefaultPath() + Trim(strSubject));
                return;
            }
        },
        downloadTo);

    m_view.RegisterCommand(
        ID_QUEUE_STARTDOWNLOADING, [this] { StartDownloads(); },
        [this](CCmdUI& ui) { ui.m_bEnabled = m_pScheduler->CanStartDownloading(); });
    m_view.RegisterCommand(IDC_PAUSE, [this] { m_pScheduler->SetPaused(m_btnPause->isChecked()); });
    m_view.RegisterCommand(
        ID_QUEUE_CLEAR, [this] { m_view.ProgressListCtrl().RemoveAll(); },
        [&progress](CCmdUI& ui) { ui.m_bEnabled = progress.GetItemCount() > 0; });

    m_view.RegisterCommand(
        ID_PROGRESS_CANCELDOWNLOAD, [&progress] { CProgressCommands::CancelDownload(progress); },
        progressSelection);
    m_view.RegisterCommand(
        ID_PROGRESS_EDITPATH,
        [this, &progress]
        {
            std::string strFolder = GetDefaultPath();
            if (RunFolderDialog(strFolder))
                CProgressCommands::EditDownloadPath(progress, strFolder, &m_prompts);
        },
        progressSelection);
    m_view.RegisterCommand(
        ID_PROGRESS_REMOVE, [this] { m_view.ProgressListCtrl().RemoveSelected(); }, progressSelection);
    m_view.RegisterCommand(
        ID_PROGRESS_MOVETOTOP, [&progress] { CProgressCommands::MoveToTop(progress); },
        [&progress](CCmdUI& ui) { ui.m_bEnabled = CProgressCommands::CanMoveToTop(progress); });
    m_view.RegisterCommand(IDC_UP, [&progress] { CProgressCommands::MoveUp(progress); });
    m_view.RegisterCommand(IDC_DOWN, [&progress] { CProgressCommands::MoveDown(progress); });

    m_view.RegisterCommand(
        ID_TOOLS_IGNORELIMIT, [this] { m_counter.ToggleIgnoreLimit(); },
        [this](CCmdUI& ui) { ui.m_bChecked = m_counter.IsIgnoringLimit(); });
}
