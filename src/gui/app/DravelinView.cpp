#include "app/DravelinView.h"
#include "app/DialogController.h"

#include "app/DownloadController.h"
#include "app/DravelinDoc.h"
#include "app/MainFrame.h"
#include "app/ToolbarIcons.h"
#include "app/ToolsController.h"
#include "filters/ArticleSearch.h"
#include "lists/ArticleListCtrl.h"
#include "model/QueueFile.h"
#include "settings/ProfileFile.h"
#include "ui/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

namespace
{
// Dialog units of the original form, in pixels (8-point system font).
constexpr int DluX(int n)
{
    return n * 3 / 2;
}
constexpr int DluY(int n)
{
    return n * 13 / 8;
}

constexpr int kArticleWidths[] = {18, 50, 90, 56, 364, 90};
constexpr int kProgressWidths[] = {20, 171, 80, 40, 68, 80, 180};

// A drain of worker messages gives the event loop back after this long, so
// painting and input go on during a large listing.
constexpr qint64 kDrainSliceMs = 20;
constexpr size_t kArrivalBatch = 4096;

} // namespace

CDravelinView::CDravelinView(CDravelinDoc& doc, IPrompts& prompts, CMainFrame& frame)
    : QWidget(&frame), m_doc(doc), m_prompts(prompts), m_frame(frame)
{
    m_pSink = std::make_shared<CGuiMessageSink>(this);
    m_pRetrieval = std::make_unique<CHeaderRetrieval>(m_doc.DocumentPtr(), m_pSink);
    m_pSink->SetBoxHandler([this](const std::string& strText)
                           { m_prompts.ShowMessage(strText, PromptIcon::Exclamation); });
    CreateControls();
    m_articles.SetPrompts(&m_prompts);
    m_progress.SetPrompts(&m_prompts);
    m_progress.SetNotify(m_pSink.get());

    const std::string strIni = m_doc.GetIniPath();
    CProfileFile ini;
    ini.Read(strIni);
    m_pRetrieval->m_nActiveService = ini.GetInt("Account", "Active", 0);
    m_pRetrieval->m_bEasyNewsPort81 = ini.GetInt("Account", "UseEasyNewsPort81", 0);
    m_pRetrieval->SetPrompts(&m_prompts);
    m_pRetrieval->SetArticleList(&m_articles);
    m_pRetrieval->SetStatusCallback([this](const std::string& strLine) { AppendStatusLine(strLine); });
    m_pRetrieval->SetRetrievalEndedCallback([this] { OnHeaderEnd(); });
    m_pRetrieval->m_killFilter.LoadKillFilter(m_doc.Folder().GetPath());
    RegisterOwnCommands();
    m_pDownloads = std::make_unique<CDownloadController>(*this, m_doc, m_prompts, m_frame, m_btnPause,
                                                         m_stcBytesToday, m_stcResetAt);
    m_pTools = std::make_unique<CToolsController>(*this, m_doc, m_prompts, m_frame);
    m_pTools->AttachTo(m_pDownloads->Scheduler());
    m_pDownloads->SetHandOff(m_pTools->HandOff());
    m_pTools->SetDailyCounter(&m_pDownloads->Counter());
    new CDialogController(m_doc, *this, m_prompts);
}

CDravelinView::~CDravelinView()
{
    OnDestroy();
    // The list widgets go first: they refer to the core lists, which are
    // members and end before the base class would delete its children.
    delete m_grpArticles;
    delete m_grpProgress;
    m_lstArticles = nullptr;
    m_lstProgress = nullptr;
}

void CDravelinView::CreateControls()
{
    auto* pRoot = new QVBoxLayout(this);
    pRoot->setContentsMargins(DluX(5), DluY(3), DluX(5), DluY(5));
    pRoot->setSpacing(DluY(3));

    // "Articles": the list takes every extra pixel of height.
    m_grpArticles = new QGroupBox(QStringLiteral("Articles"), this);
    auto* pArticles = new QVBoxLayout(m_grpArticles);
    pArticles->setContentsMargins(DluX(5), DluY(3), DluX(5), DluY(3));
    m_lstArticles = new CArticleListCtrl(m_grpArticles);
    m_lstArticles->setObjectName(QStringLiteral("ArticleList"));
    m_lstArticles->setMinimumHeight(DluY(40));
    pArticles->addWidget(m_lstArticles, 1);
    auto* pArticleRow = new QHBoxLayout;
    m_stcSelected = new QLabel(QStringLiteral("Selected:"), m_grpArticles);
    m_stcSelectedCount = new QLabel(QStringLiteral("0"), m_grpArticles);
    m_stcSelectedCount->setObjectName(QStringLiteral("SelectedCount"));
    m_stcSelectedCount->setFixedWidth(DluX(45));
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), m_grpArticles);
    m_btnCancel->setObjectName(QStringLiteral("Cancel"));
    m_btnCancel->setEnabled(false);
    m_btnClear = new QPushButton(QStringLiteral("Clear"), m_grpArticles);
    m_btnClear->setObjectName(QStringLiteral("Clear"));
    m_btnAuto = new QCheckBox(QStringLiteral("Auto"), m_grpArticles);
    m_btnAuto->setObjectName(QStringLiteral("Auto"));
    for (QPushButton* pButton : {m_btnCancel, m_btnClear})
        pButton->setFixedSize(DluX(50), DluY(14));
    pArticleRow->addWidget(m_stcSelected);
    pArticleRow->addWidget(m_stcSelectedCount);
    pArticleRow->addStretch(1);
    pArticleRow->addWidget(m_btnCancel);
    pArticleRow->addWidget(m_btnClear);
    pArticleRow->addWidget(m_btnAuto);
    pArticles->addLayout(pArticleRow);
    pRoot->addWidget(m_grpArticles, 1);

    // "Progress": keeps its height at the bottom; only the list grows wider,
    // the buttons and the status window move right.
    m_grpProgress = new QGroupBox(QStringLiteral("Progress"), this);
    // Its height is what its contents need (the status window and the
    // counter line below it with the font in use), and it never changes.
    m_grpProgress->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* pProgress = new QHBoxLayout(m_grpProgress);
    pProgress->setContentsMargins(DluX(5), DluY(3), DluX(5), DluY(3));
    m_lstProgress = new CArticleListCtrl(m_grpProgress);
    m_lstProgress->setObjectName(QStringLiteral("ProgressList"));
    m_lstProgress->setFixedHeight(DluY(60));
    pProgress->addWidget(m_lstProgress, 1, Qt::AlignTop);
    auto* pButtons = new QVBoxLayout;
    pButtons->setSpacing(1);
    m_btnUp = new QToolButton(m_grpProgress);
    m_btnDown = new QToolButton(m_grpProgress);
    m_btnPause = new QToolButton(m_grpProgress);
    m_btnUp->setObjectName(QStringLiteral("Up"));
    m_btnDown->setObjectName(QStringLiteral("Down"));
    m_btnPause->setObjectName(QStringLiteral("Pause"));
    m_btnPause->setCheckable(true);
    m_btnUp->setToolTip(QStringLiteral("Up"));
    m_btnDown->setToolTip(QStringLiteral("Down"));
    m_btnPause->setToolTip(QStringLiteral("Pause"));
    for (QToolButton* pButton : {m_btnUp, m_btnDown, m_btnPause})
        pButton->setFixedSize(DluX(14), DluY(14));
    pButtons->addWidget(m_btnUp);
    pButtons->addWidget(m_btnDown);
    pButtons->addStretch(1);
    pButtons->addWidget(m_btnPause);
    pProgress->addLayout(pButtons);
    auto* pStatus = new QVBoxLayout;
    pStatus->setSpacing(2);
    m_edtStatus = new QPlainTextEdit(m_grpProgress);
    m_edtStatus->setObjectName(QStringLiteral("StatusWindow"));
    m_edtStatus->setReadOnly(true);
    m_edtStatus->setMaximumBlockCount(kMaxStatusLines);
    m_edtStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edtStatus->setFixedSize(DluX(185), DluY(50));
    pStatus->addWidget(m_edtStatus);
    auto* pCounter = new QHBoxLayout;
    m_stcBytesToday = new QLabel(QStringLiteral("Bytes downloaded from NewsGuy"), m_grpProgress);
    m_stcBytesToday->setObjectName(QStringLiteral("BytesToday"));
    m_stcResetAt = new QLabel(QStringLiteral("Reset at: 00:00"), m_grpProgress);
    m_stcResetAt->setObjectName(QStringLiteral("ResetAt"));
    m_stcResetAt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A long count gives way to the reset time instead of widening the
    // column past the status window; the whole text is its tool tip.
    m_stcBytesToday->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_stcResetAt->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    pCounter->setSpacing(DluX(2));
    pCounter->addWidget(m_stcBytesToday, 1);
    pCounter->addWidget(m_stcResetAt);
    pStatus->addLayout(pCounter);
    pStatus->addStretch(1);
    pProgress->addLayout(pStatus);
    pRoot->addWidget(m_grpProgress, 0);

    m_lstArticles->Attach(&m_articles);
    m_lstProgress->Attach(&m_progress);
    m_lstArticles->SetCommandTarget(this);
    m_lstProgress->SetCommandTarget(this);

    connect(m_lstArticles, &CArticleListCtrl::RowsChanged, this, &CDravelinView::UpdateSelectedCount);
    // The toolbar shows the commands' state at all times, not only when a
    // menu opens: selection changes are neither commands nor messages.
    connect(m_lstArticles, &CArticleListCtrl::RowsChanged, this, &CDravelinView::UpdateFrameUI);
    connect(m_lstProgress, &CArticleListCtrl::RowsChanged, this, &CDravelinView::UpdateFrameUI);
    connect(m_btnCancel, &QPushButton::clicked, this, [this] { OnCommand(IDC_CANCEL); });
    connect(m_btnClear, &QPushButton::clicked, this, [this] { OnCommand(IDC_CLEAR); });
    connect(m_btnAuto, &QCheckBox::clicked, this, [this] { OnCommand(IDC_AUTO); });
    connect(m_btnUp, &QToolButton::clicked, this, [this] { OnCommand(IDC_UP); });
    connect(m_btnDown, &QToolButton::clicked, this, [this] { OnCommand(IDC_DOWN); });
    connect(m_btnPause, &QToolButton::clicked, this, [this] { OnCommand(IDC_PAUSE); });
}

void CDravelinView::OnInitialUpdate()
{
    // The date limit starts one day back, time of day included.
    m_frame.DatePicker()->setDateTime(QDateTime::currentDateTime().addSecs(-86400));
    m_btnDown->setIcon(CToolbarIcons::Icon(IDC_DOWN));
    m_btnUp->setIcon(CToolbarIcons::Icon(IDC_UP));
    m_btnPause->setIcon(CToolbarIcons::Icon(IDC_PAUSE));
    SetTitle(GetServiceTitle());
    LoadFavorites();
    ReadColumnWidths();
    connect(m_frame.LimitCheck(), &QCheckBox::toggled, this, &CDravelinView::UpdateDateLimit);
    connect(m_frame.DatePicker(), &QDateTimeEdit::dateTimeChanged, this, &CDravelinView::UpdateDateLimit);
    UpdateDateLimit();

    bool bLoadQueue;
    bool bLoadOriginal;
    {
        CPreferences& settings = m_doc.Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        bLoadQueue = settings.m_bLoadQueue != 0;
        bLoadOriginal = settings.m_bLoadOriginalQueue != 0;
    }
    if (bLoadQueue)
        CQueueFile::LoadQueueFile(m_doc.Folder().GetQueuePath(), bLoadOriginal, m_progress);
    m_pDownloads->OnQueueLoaded();
    // Lines already present are not added twice.
    m_pRetrieval->m_killFilter.LoadKillFilter(m_doc.Folder().GetPath());
    UpdateSelectedCount();
    UpdateFrameUI();
}

// --- settings ------------------------------------------------------------------

void CDravelinView::ReadColumnWidths()
{
    CProfileFile ini;
    ini.Read(m_doc.GetIniPath());
    char szKey[32];
    for (int i = 0; i < 6; ++i)
    {
        std::snprintf(szKey, sizeof szKey, "Column%d", i);
        m_lstArticles->header()->resizeSection(i, ini.GetInt("Articles", szKey, kArticleWidths[i]));
    }
    // "kB/s" and "Time remaining" start wide enough for their titles and
    // their widest usual texts in the font in use.
    const QFontMetrics metrics(m_lstProgress->font());
    const int nMargin = 2 * (m_lstProgress->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
    int progressWidths[7];
    std::copy(std::begin(kProgressWidths), std::end(kProgressWidths), progressWidths);
    for (const auto& [nColumn, pszSample] : {std::pair{3, "99999.9"}, std::pair{4, "00:00:00"}})
    {
        const int nText = metrics.horizontalAdvance(QString::fromLatin1(pszSample)) + nMargin;
        QHeaderView* pHeader = m_lstProgress->header();
        QStyleOptionHeader option;
        option.initFrom(pHeader);
        option.section = nColumn;
        option.text = pHeader->model()->headerData(nColumn, Qt::Horizontal).toString();
        const int nTitle =
            pHeader->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), pHeader).width();
        progressWidths[nColumn] = std::max({progressWidths[nColumn], nText, nTitle});
    }
    for (int i = 0; i < 7; ++i)
    {
        std::snprintf(szKey, sizeof szKey, "Column%d", i);
        m_lstProgress->header()->resizeSection(i, ini.GetInt("Progress", szKey, progressWidths[i]));
    }
}

void CDravelinView::WriteColumnWidths()
{
    CProfileFile ini;
    const std::string strIni = m_doc.GetIniPath();
    if (!ini.ReadForUpdate(strIni))
        return;
    char szKey[32];
    for (int i = 5; i >= 0; --i)
    {
        std::snprintf(szKey, sizeof szKey, "Column%d", i);
        ini.SetInt("Articles", szKey, m_lstArticles->header()->sectionSize(i));
    }
    for (int i = 6; i >= 0; --i)
    {
        std::snprintf(szKey, sizeof szKey, "Column%d", i);
        ini.SetInt("Progress", szKey, m_lstProgress->header()->sectionSize(i));
    }
    ini.Write(strIni);
}

void CDravelinView::LoadFavorites()
{
    CProfileFile ini;
    ini.Read(m_doc.GetIniPath());
    QComboBox* pBox = m_frame.NewsgroupBox();
    // More favourites than anyone keeps in a drop-down list.
    constexpr int32_t kMaxFavorites = 10000;
    const int nTotal = ini.GetCount("Favorites", "Total", kMaxFavorites);
    char szKey[32];
    for (int i = 1; i <= nTotal; ++i)
    {
        std::snprintf(szKey, sizeof szKey, "NewsGroup%d", i);
        const std::string strGroup = ini.GetString("Favorites", szKey, "");
        if (!strGroup.empty())
            pBox->addItem(QString::fromLocal8Bit(strGroup));
    }
    pBox->setCurrentIndex(-1);
    pBox->setEditText(QString());
}

void CDravelinView::SaveFavorites()
{
    CProfileFile ini;
    const std::string strIni = m_doc.GetIniPath();
    if (!ini.ReadForUpdate(strIni))
        return;
    QComboBox* pBox = m_frame.NewsgroupBox();
    ini.SetInt("Account", "Active", m_pRetrieval->m_nActiveService);
    ini.SetInt("Account", "UseEasyNewsPort81", m_pRetrieval->m_bEasyNewsPort81);
    ini.SetInt("Favorites", "Total", pBox->count());
    char szKey[32];
    for (int i = 1; i <= pBox->count(); ++i)
    {
        std::snprintf(szKey, sizeof szKey, "Newsgroup%d", i);
        ini.SetString("Favorites", szKey, pBox->itemText(i - 1).toLocal8Bit().toStdString());
    }
    ini.Write(strIni);
}

// --- shutdown ------------------------------------------------------------------

void CDravelinView::OnDestroy()
{
    if (m_bStateSaved)
        return;
    m_bStateSaved = 1;
    // Listings stop at their next line; their messages are no longer wanted.
    m_pRetrieval->Cancel();
    CGuiMessageSink::Retire(m_pSink);
    m_pending.clear();

    SaveFavorites();
    m_articles.RemoveAll();
    SaveQueueIfWanted();
    m_pDownloads->OnShutdown();
    ClearProgressListForExit();
    WriteColumnWidths();
}

void CDravelinView::SaveQueueIfWanted()
{
    bool bSaveQueue;
    {
        CPreferences& settings = m_doc.Document().m_settings;
        std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
        bSaveQueue = settings.m_bSaveQueue != 0;
    }
    if (bSaveQueue)
        CQueueFile::SaveQueueFile(m_doc.Folder().GetQueuePath(), m_progress);
}

void CDravelinView::SaveState()
{
    if (m_bStateSaved)
        return;
    SaveFavorites();
    SaveQueueIfWanted();
    WriteColumnWidths();
}

void CDravelinView::ClearProgressListForExit()
{
    // A running download is told to stop and left to its worker, which holds
    // its own reference; every other queued article is simply let go.
    m_lstProgress->SetRedraw(false);
    for (int i = m_progress.GetItemCount() - 1; i >= 0; --i)
    {
        const ArticlePtr pArticle = m_progress.GetArticle(i);
        {
            std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
            if (pArticle->m_nState == StateDownloading)
            {
                pArticle->m_nState = StateShutdown;
                if (pArticle->m_hRunEvent)
                    pArticle->m_hRunEvent->Reset();
            }
            pArticle->m_nLists &= ~ListProgress;
        }
        m_progress.DeleteRow(i);
    }
    m_lstProgress->SetRedraw(true);
}

// --- commands ------------------------------------------------------------------

void CDravelinView::RegisterCommand(int nId, std::function<void()> fnRun,
                                    std::function<void(CCmdUI&)> fnUpdate)
{
    m_commands[nId] = CCommand{std::move(fnRun), std::move(fnUpdate)};
}

bool CDravelinView::OnCommand(int nId)
{
    m_lstArticles->FlushArrivals();
    auto it = m_commands.find(nId);
    if (it == m_commands.end() || !it->second.fnRun)
        return false;
    it->second.fnRun();
    UpdateFrameUI();
    return true;
}

bool CDravelinView::OnUpdateCommand(int nId, CCmdUI& ui)
{
    auto it = m_commands.find(nId);
    if (it == m_commands.end())
        return false;
    if (it->second.fnUpdate)
        it->second.fnUpdate(ui);
    return true;
}

void CDravelinView::RegisterOwnCommands()
{
    CQueueDocument& doc = m_doc.Document();
    auto service = [this, &doc](int nId, int32_t nService, int nPort81)
    {
        RegisterCommand(
            nId, [this, nService, nPort81] { SetActiveService(nService, nPort81 == 1); },
            [this, &doc, nService, nPort81](CCmdUI& ui)
            {
                ui.m_bEnabled = (doc.m_nSubscriptions & nService) != 0;
                ui.m_bChecked = m_pRetrieval->m_nActiveService == nService &&
                                (nPort81 < 0 || m_pRetrieval->m_bEasyNewsPort81 == nPort81);
            });
    };
    service(ID_SERVICE_NEWSGUY, 1, -1);
    service(ID_SERVICE_NEWSGUYEXTRA, 2, -1);
    service(ID_SERVICE_EASYNEWS80, 16, 0);
    service(ID_SERVICE_EASYNEWS81, 16, 1);

    RegisterCommand(IDC_GO, [this] { OnGo(); });
    RegisterCommand(IDC_CANCEL, [this] { OnCancel(); });
    RegisterCommand(IDC_CLEAR, [this] { m_lstArticles->RemoveAll(); });
    RegisterCommand(IDC_AUTO,
                    [this]
                    {
                        m_bAuto = m_btnAuto->isChecked() ? 1 : 0;
                        m_lstArticles->SetAutoScroll(m_bAuto != 0);
                    });
    RegisterCommand(ID_TOOLS_CLEARSTATUS, [this] { OnClearStatusWindow(); });

    auto hasRows = [this](CCmdUI& ui) { ui.m_bEnabled = m_articles.GetItemCount() > 0; };
    auto hasSelection = [this](CCmdUI& ui) { ui.m_bEnabled = m_articles.GetSelectedCount() > 0; };
    RegisterCommand(
        ID_ARTICLE_SELECTALL, [this] { m_lstArticles->selectAll(); }, hasRows);
    RegisterCommand(
        ID_ARTICLE_INVERTSELECTION,
        [this]
        {
            m_lstArticles->SetRedraw(false);
            for (int i = 0; i < m_articles.GetItemCount(); ++i)
                m_articles.SetItemState(i, m_articles.IsSelected(i) ? 0 : CArticleList::RowSelected,
                                        CArticleList::RowSelected);
            m_lstArticles->SetRedraw(true);
        },
        hasRows);
    RegisterCommand(
        ID_ARTICLE_REMOVE, [this] { m_lstArticles->RemoveSelected(); }, hasSelection);
    RegisterCommand(
        ID_ARTICLE_REMOVEALL, [this] { m_lstArticles->RemoveAll(); }, hasRows);
    RegisterCommand(
        ID_QUEUE_CLEAR, [this] { m_lstProgress->RemoveAll(); },
        [this](CCmdUI& ui) { ui.m_bEnabled = m_progress.GetItemCount() > 0; });
    RegisterCommand(
        ID_ARTICLE_HIDEINCOMPLETE,
        [this]
        {
            m_pRetrieval->m_bHideIncomplete = !m_pRetrieval->m_bHideIncomplete;
            // Switching it off brings nothing back; the next listing does.
            if (m_pRetrieval->m_bHideIncomplete)
                CArticleSearch::HideIncomplete(m_articles);
        },
        [this](CCmdUI& ui) { ui.m_bChecked = m_pRetrieval->m_bHideIncomplete != 0; });
    RegisterCommand(
        ID_ARTICLE_APPLYKILLFILTER,
        [this]
        {
            CArticleSearch::ApplyKillFilter(m_articles, m_pRetrieval->m_killFilter.m_lstKillAuthors,
                                            m_pRetrieval->m_killFilter.m_lstKillSubjects);
        },
        hasRows);
    RegisterCommand(
        ID_ARTICLE_FINDNEXT, [this] { CArticleSearch::FindNext(m_articles, &m_prompts); },
        [this](CCmdUI& ui) { ui.m_bEnabled = m_articles.m_bFound != 0; });
    // The toolbar's "Use a download manager": the setting in memory; it is
    // stored with the other settings.
    RegisterCommand(
        ID_USE_DOWNLOADMANAGER,
        [&doc]
        {
            std::lock_guard<std::recursive_mutex> lock(doc.m_settings.m_lock);
            doc.m_settings.m_bDoNotQueue = !doc.m_settings.m_bDoNotQueue;
        },
        [&doc](CCmdUI& ui)
        {
            std::lock_guard<std::recursive_mutex> lock(doc.m_settings.m_lock);
            ui.m_bChecked = doc.m_settings.m_bDoNotQueue != 0;
        });
    RegisterCommand(ID_QUEUE_SAVE,
                    [this] { CQueueFile::SaveQueueFile(m_doc.Folder().GetQueuePath(), m_progress); });
}

void CDravelinView::UpdateFrameUI()
{
    m_frame.UpdateCommandUI();
}

void CDravelinView::UpdateSelectedCount()
{
    m_stcSelectedCount->setText(QString::number(m_articles.GetSelectedCount()));
}

// --- service and title -----------------------------------------------------------

std::string CDravelinView::GetServiceTitle() const
{
    const int32_t nService = m_pRetrieval->m_nActiveService;
    // A WebUseNet choice can only come from the settings file.
    if (nService == 4 || nService == 8)
        return "Dravelin - WebUseNet";
    return CHeaderRetrieval::ServiceTitle(nService, m_pRetrieval->m_bEasyNewsPort81 != 0);
}

void CDravelinView::SetTitle(const std::string& strTitle)
{
    m_frame.setWindowTitle(QString::fromLocal8Bit(strTitle));
}

void CDravelinView::SetActiveService(int32_t nService, bool bPort81)
{
    m_pRetrieval->m_nActiveService = nService;
    if (nService == 16)
        m_pRetrieval->m_bEasyNewsPort81 = bPort81 ? 1 : 0;
    SetTitle(GetServiceTitle());
}

// --- status window -----------------------------------------------------------------

void CDravelinView::AppendStatusLine(const std::string& strLine)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    // One line per paragraph; the text reads as lines joined by CR LF.
    m_edtStatus->appendPlainText(QString::fromLocal8Bit(strLine));
    m_nStatusLines = std::min(m_nStatusLines + 1, kMaxStatusLines);
    QScrollBar* pBar = m_edtStatus->verticalScrollBar();
    pBar->setValue(pBar->maximum());
}

std::string CDravelinView::GetStatusText() const
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    QString str = m_edtStatus->toPlainText();
    str.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return str.toLocal8Bit().toStdString();
}

void CDravelinView::OnClearStatusWindow()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_edtStatus->clear();
    m_nStatusLines = 0;
    QScrollBar* pBar = m_edtStatus->verticalScrollBar();
    pBar->setValue(pBar->maximum());
}

// --- messages --------------------------------------------------------------------

bool CDravelinView::event(QEvent* pEvent)
{
    if (pEvent->type() == CGuiMessageSink::WakeEventType())
    {
        DrainMessages();
        return true;
    }
    return QWidget::event(pEvent);
}

void CDravelinView::DrainMessages()
{
    if (m_bDraining)
    {
        // Re-entered from a message box's own event loop: the outer drain
        // wakes the view again when it is done.
        m_bDrainAgain = true;
        return;
    }
    if (m_bStateSaved)
        return;
    m_bDraining = true;
    m_pSink->TakeAll(m_pending);
    QElapsedTimer timer;
    timer.start();
    while (!m_pending.empty() && timer.elapsed() < kDrainSliceMs)
    {
        CGuiMessageSink::CEntry& front = m_pending.front();
        if (!front.bMessageBox && front.msg.nMessage == WM_HEADER_ITEM && front.msg.wParam == 0)
        {
            // Runs of arrivals become few insertions in the widget.
            m_lstArticles->BeginArrivals();
            for (size_t n = 0;
                 n < kArrivalBatch && !m_pending.empty() && !m_pending.front().bMessageBox &&
                 m_pending.front().msg.nMessage == WM_HEADER_ITEM && m_pending.front().msg.wParam == 0;
                 ++n)
            {
                m_pRetrieval->OnViewMessage(m_pending.front().msg);
                m_pending.pop_front();
            }
            continue;
        }
        CGuiMessageSink::CEntry entry = std::move(front);
        m_pending.pop_front();
        if (entry.bMessageBox)
        {
            m_pSink->ShowBox(entry.msg.strText);
            m_pSink->BoxClosed(entry);
        }
        else
        {
            HandleMessage(entry.msg);
        }
        if (m_bStateSaved)
            break;
    }
    m_bDraining = false;
    if (m_bStateSaved)
        return;
    m_lstArticles->EndArrivals();
    if (!m_pending.empty() || m_bDrainAgain)
    {
        m_bDrainAgain = false;
        m_pSink->Rewake();
    }
    UpdateFrameUI();
}

void CDravelinView::HandleMessage(const CViewMessage& msg)
{
    switch (msg.nMessage)
    {
    case WM_HEADER_ITEM:
        if (msg.wParam != 0)
            m_lstArticles->FlushArrivals(); // the end line comes with every row shown
        m_pRetrieval->OnViewMessage(msg);
        break;
    case WM_STATUS_TEXT:
        if (msg.wParam == 0)
        {
            m_pRetrieval->OnViewMessage(msg);
        }
        else if (msg.pArticle)
        {
            bool bUpdate;
            {
                CPreferences& settings = m_doc.Document().m_settings;
                std::lock_guard<std::recursive_mutex> lock(settings.m_lock);
                bUpdate = settings.m_bUpdateArticleStatus != 0;
            }
            if (bUpdate)
                m_lstProgress->RedrawArticleRow(msg.pArticle.get());
            if (m_fnDownloadMessage)
                m_fnDownloadMessage(msg);
        }
        break;
    case WM_HEADER_PROGRESS:
        m_pRetrieval->OnViewMessage(msg);
        OnHeaderProgress(static_cast<int>(msg.wParam));
        break;
    case WM_REDRAW_ARTICLE:
        // The article is only a search key here.
        m_lstArticles->RedrawArticleRow(msg.pArticle.get());
        break;
    case WM_DOWNLOAD_DONE:
    case WM_DISK_FULL:
    default:
        if (m_fnDownloadMessage)
            m_fnDownloadMessage(msg);
        break;
    }
}

// --- header retrieval ---------------------------------------------------------------

void CDravelinView::OnGo()
{
    QComboBox* pBox = m_frame.NewsgroupBox();
    const std::string strText = pBox->currentText().toLocal8Bit().toStdString();
    const std::string strGroup = CHeaderRetrieval::TrimNewsgroup(strText);
    if (m_pRetrieval->m_nActiveService != 0 && !strGroup.empty())
    {
        // The favourites gain every group listed; the match ignores case.
        std::vector<std::string> favourites;
        for (int i = 0; i < pBox->count(); ++i)
            favourites.push_back(pBox->itemText(i).toLocal8Bit().toStdString());
        if (CHeaderRetrieval::AddFavourite(favourites, strGroup))
            pBox->addItem(QString::fromLocal8Bit(strGroup));
    }
    UpdateDateLimit();
    if (!m_pRetrieval->Go(strText))
        return;
    SetTitle(CHeaderRetrieval::WindowTitle(strGroup, m_pRetrieval->m_nActiveService,
                                           m_pRetrieval->m_bEasyNewsPort81 != 0));
    ++m_nListingsRunning;
    m_btnCancel->setEnabled(true);
    m_frame.ListingProgress()->setValue(0);
    m_frame.ListingProgress()->setVisible(true);
}

void CDravelinView::OnCancel()
{
    m_pRetrieval->Cancel();
}

void CDravelinView::UpdateDateLimit()
{
    m_pRetrieval->m_bLimit = m_frame.LimitCheck()->isChecked() ? 1 : 0;
    m_pRetrieval->m_tLimit = static_cast<std::time_t>(m_frame.DatePicker()->dateTime().toSecsSinceEpoch());
}

void CDravelinView::OnHeaderProgress(int nPercent)
{
    m_frame.ListingProgress()->setValue(nPercent);
}

void CDravelinView::OnHeaderEnd()
{
    // Cancel stops every listing, so it stays usable while any one runs.
    if (m_nListingsRunning > 0)
        --m_nListingsRunning;
    if (m_nListingsRunning > 0)
        return;
    m_btnCancel->setEnabled(false);
    m_frame.ListingProgress()->setVisible(false);
}
