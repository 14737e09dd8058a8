#include "app/MainFrame.h"

#include "app/DravelinDoc.h"
#include "app/DownloadController.h"
#include "app/DravelinView.h"
#include "app/ToolbarIcons.h"
#include "dialogs/AboutDlg.h"
#include "model/NzbImport.h"
#include "settings/ProfileFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
struct CMenuEntry
{
    int nId; // 0 = separator
    const char* pszText;
};

struct CMenuDef
{
    const char* pszTitle;
    std::initializer_list<CMenuEntry> items;
};

const CMenuDef kMenus[] = {
    {"&File",
     {{ID_FILE_IMPORTNZB, "Import NZB..."},
      {ID_FILE_PREFERENCES, "&Preferences..."},
      {0, nullptr},
      {ID_APP_EXIT, "E&xit"}}},
    {"&View", {{ID_VIEW_TOOLBAR, "&Toolbar"}, {ID_VIEW_STATUS_BAR, "&Status Bar"}}},
    {"&Service",
     {{ID_SERVICE_NEWSGUY, "&NewsGuy"},
      {ID_SERVICE_NEWSGUYEXTRA, "News&Guy Extra"},
      {ID_SERVICE_WEBUSENET, "&WebUseNet"},
      {ID_SERVICE_WEBUSENETMEMBERS, "WebUseNet &Members"},
      {ID_SERVICE_EASYNEWS80, "&EasyNews (Port 80)"},
      {ID_SERVICE_EASYNEWS81, "Eas&yNews (Port 81)"}}},
    {"&Article",
     {{ID_ARTICLE_DOWNLOAD, "&Download"},
      {ID_ARTICLE_DOWNLOADTO, "Download &to..."},
      {ID_ARTICLE_DOWNLOADTONEWSGROUP, "Download to <news&group>..."},
      {ID_ARTICLE_DOWNLOADTOSUBJECT, "Download to <&subject>..."},
      {0, nullptr},
      {ID_ARTICLE_FIND, "Find...\tCtrl-F"},
      {ID_ARTICLE_FINDNEXT, "Find &Next\tF3"},
      {ID_ARTICLE_FILTER, "F&ilter..."},
      {ID_ARTICLE_HIDEINCOMPLETE, "&Hide Incomplete Articles"},
      {0, nullptr},
      {ID_ARTICLE_KILLFILTER, "&Kill Filter..."},
      {ID_ARTICLE_ADDAUTHORTOKILL, "Add Author to kill filter..."},
      {ID_ARTICLE_ADDSUBJECTTOKILL, "Add Subject to kill filter...\tCtrl-K"},
      {ID_ARTICLE_APPLYKILLFILTER, "Apply Kill Filter"},
      {0, nullptr},
      {ID_ARTICLE_SELECTALL, "Select &All\tCtrl-A"},
      {ID_ARTICLE_INVERTSELECTION, "In&vert Selection"},
      {0, nullptr},
      {ID_ARTICLE_REMOVE, "&Remove"},
      {ID_ARTICLE_REMOVEALL, "Remove All\tCtrl-X"}}},
    {"&Queue",
     {{ID_QUEUE_STARTDOWNLOADING, "&Start Downloading"},
      {ID_QUEUE_EXPORTGETRIGHT, "&Export Queue to GetRight"},
      {ID_QUEUE_COPYTOCLIPBOARD, "&Copy Queue to Clipboard"},
      {ID_QUEUE_COPYWITHPASSWORD, "Copy Queue to Clipboard (include Username and Password)"},
      {0, nullptr},
      {ID_QUEUE_CLEAR, "Clear &Queue"},
      {0, nullptr},
      {ID_QUEUE_SAVE, "Sa&ve Queue\tCtrl-S"}}},
    {"&Tools",
     {{ID_TOOLS_HANGUP, "&Hang Up when done"},
      {ID_TOOLS_POWEROFF, "&Power Off when done"},
      {0, nullptr},
      {ID_TOOLS_DELETETEMPINET, "&Delete Temp Inet files"},
      {ID_TOOLS_EMPTYRECYCLEBIN, "&Empty Recycle Bin"},
      {0, nullptr},
      {ID_TOOLS_CLEARSTATUS, "&Clear Status Window"},
      {0, nullptr},
      {ID_TOOLS_IGNORELIMIT, "&Ignore NewsGuy download limit"}}},
    {"&Help", {{ID_APP_ABOUT, "&About Dravelin..."}}},
};

// Commands whose menu item carries a check mark.
bool IsCheckCommand(int nId)
{
    switch (nId)
    {
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_SERVICE_NEWSGUY:
    case ID_SERVICE_NEWSGUYEXTRA:
    case ID_SERVICE_WEBUSENET:
    case ID_SERVICE_WEBUSENETMEMBERS:
    case ID_SERVICE_EASYNEWS80:
    case ID_SERVICE_EASYNEWS81:
    case ID_ARTICLE_HIDEINCOMPLETE:
    case ID_TOOLS_HANGUP:
    case ID_TOOLS_POWEROFF:
    case ID_TOOLS_IGNORELIMIT:
    case ID_USE_DOWNLOADMANAGER:
        return true;
    default:
        return false;
    }
}

// Toolbar order and the commands' prompt strings ("status text\ntool tip").
const CMenuEntry kToolBar[] = {
    {ID_ARTICLE_DOWNLOAD, "Download the selected articles."},
    {ID_USE_DOWNLOADMANAGER, "Use a download manager"},
    {0, nullptr},
    {ID_ARTICLE_HIDEINCOMPLETE, "Hide incomplete articles"},
    {ID_ARTICLE_FILTER, "Filter articles"},
    {ID_ARTICLE_FIND, "Find articles"},
    {0, nullptr},
    {ID_TOOLS_HANGUP, "Hang Up when done"},
    {ID_TOOLS_POWEROFF, "Power Off when done"},
    {0, nullptr},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
};

constexpr const char* kSection = "Dravelin";
} // namespace

CMainFrame::CMainFrame(CDravelinDoc& doc, IPrompts& prompts) : m_doc(doc), m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Dravelin"));
    setMinimumSize(kMinWidth, kMinHeight);
    setAcceptDrops(true);
    m_rcNormal = QRect(0, 0, kMinWidth, kMinHeight);
    CreateMenus();
    CreateToolBar();
    CreateDialogBar();
    CreateStatusBar();
}

CMainFrame::~CMainFrame()
{
    // The view's shutdown save comes before the frame's placement, as the
    // view is destroyed before its frame.
    if (m_pView)
        m_pView->OnDestroy();
    OnDestroy();
}

QAction* CMainFrame::MakeAction(int nId, const char* pszText)
{
    auto it = m_actions.find(nId);
    if (it != m_actions.end())
        return it->second;
    auto* pAction = new QAction(QString::fromLatin1(pszText), this);
    pAction->setData(nId);
    pAction->setCheckable(IsCheckCommand(nId));
    connect(pAction, &QAction::triggered, this, [this, nId] { OnCommand(nId); });
    m_actions[nId] = pAction;
    return pAction;
}

QAction* CMainFrame::FindAction(int nId) const
{
    auto it = m_actions.find(nId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus()
{
    for (const CMenuDef& def : kMenus)
    {
        QMenu* pMenu = menuBar()->addMenu(QString::fromLatin1(def.pszTitle));
        for (const CMenuEntry& entry : def.items)
        {
            if (entry.nId == 0)
                pMenu->addSeparator();
            else
                pMenu->addAction(MakeAction(entry.nId, entry.pszText));
        }
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
    // Accelerators. Ctrl+X is the article list's Clear button (always
    // enabled), which "Remove All" also names.
    FindAction(ID_ARTICLE_SELECTALL)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    FindAction(ID_ARTICLE_FIND)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    FindAction(ID_ARTICLE_ADDSUBJECTTOKILL)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    FindAction(ID_QUEUE_SAVE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    FindAction(ID_ARTICLE_FINDNEXT)->setShortcut(QKeySequence(Qt::Key_F3));
    struct CAccel
    {
        int nId;
        QKeySequence key;
    };
    for (const CAccel& accel : {CAccel{IDC_CLEAR, QKeySequence(Qt::CTRL | Qt::Key_X)},
                                CAccel{ID_NEXT_PANE, QKeySequence(Qt::Key_F6)},
                                CAccel{ID_PREV_PANE, QKeySequence(Qt::SHIFT | Qt::Key_F6)}})
    {
        QAction* pAction = MakeAction(accel.nId, "");
        pAction->setShortcut(accel.key);
        addAction(pAction);
    }
}

void CMainFrame::CreateToolBar()
{
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 15));
    m_pToolBar->setMovable(true);
    MakeAction(ID_USE_DOWNLOADMANAGER, "Use a download manager");
    for (const CMenuEntry& entry : kToolBar)
    {
        if (entry.nId == 0)
        {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* pAction = FindAction(entry.nId);
        const QString strPrompt = QString::fromLatin1(entry.pszText);
        const qsizetype nBreak = strPrompt.indexOf(QLatin1Char('\n'));
        pAction->setStatusTip(nBreak < 0 ? strPrompt : strPrompt.left(nBreak));
        pAction->setToolTip(nBreak < 0 ? strPrompt : strPrompt.mid(nBreak + 1));
        pAction->setIcon(CToolbarIcons::Icon(entry.nId));
        m_pToolBar->addAction(pAction);
    }
    // Menus show no icons; the toolbar does.
    for (auto& [nId, pAction] : m_actions)
        pAction->setIconVisibleInMenu(false);
}

void CMainFrame::CreateDialogBar()
{
    addToolBarBreak();
    m_pDialogBar = addToolBar(QStringLiteral("Dialog bar"));
    m_pDialogBar->setObjectName(QStringLiteral("DialogBar"));
    m_pDialogBar->setMovable(true);
    auto* pBar = new QWidget(m_pDialogBar);
    auto* pLayout = new QHBoxLayout(pBar);
    pLayout->setContentsMargins(4, 1, 4, 1);
    pLayout->setSpacing(8);
    auto* pLabel = new QLabel(QStringLiteral("Newsgroup:"), pBar);
    pLayout->addWidget(pLabel);
    m_pNewsgroup = new QComboBox(pBar);
    m_pNewsgroup->setObjectName(QStringLiteral("Newsgroup"));
    m_pNewsgroup->setEditable(true);
    m_pNewsgroup->setInsertPolicy(QComboBox::NoInsert);
    m_pNewsgroup->setDuplicatesEnabled(true);
    m_pNewsgroup->setMinimumWidth(278);
    m_pNewsgroup->setMaxVisibleItems(8);
    pLabel->setBuddy(m_pNewsgroup);
    pLayout->addWidget(m_pNewsgroup);
    m_pGo = new QPushButton(QStringLiteral("Go"), pBar);
    m_pGo->setObjectName(QStringLiteral("Go"));
    m_pGo->setFixedWidth(38);
    pLayout->addWidget(m_pGo);
    m_pDate = new QDateTimeEdit(pBar);
    m_pDate->setObjectName(QStringLiteral("DateLimit"));
    m_pDate->setCalendarPopup(true);
    m_pDate->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    m_pDate->setDateTime(QDateTime::currentDateTime());
    pLayout->addWidget(m_pDate);
    m_pLimit = new QCheckBox(QStringLiteral("Limit"), pBar);
    m_pLimit->setObjectName(QStringLiteral("Limit"));
    pLayout->addWidget(m_pLimit);
    m_pDialogBar->addWidget(pBar);
    // Go is the bar's default button: Enter in the newsgroup box presses it.
    connect(m_pGo, &QPushButton::clicked, this, [this] { OnCommand(IDC_GO); });
    connect(m_pNewsgroup->lineEdit(), &QLineEdit::returnPressed, this, [this] { OnCommand(IDC_GO); });
}

void CMainFrame::CreateStatusBar()
{
    m_pMessagePane = new QLabel(QStringLiteral("Ready"));
    m_pMessagePane->setObjectName(QStringLiteral("MessagePane"));
    statusBar()->addWidget(m_pMessagePane, 1);
    m_pProgress = new QProgressBar;
    m_pProgress->setObjectName(QStringLiteral("ListingProgress"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setMaximumWidth(160);
    m_pProgress->setMaximumHeight(14);
    m_pProgress->setVisible(false);
    statusBar()->addPermanentWidget(m_pProgress);
    // Fly-by prompts of menus and toolbar buttons replace the message pane's
    // text while shown, as the status bar's idle text does.
    connect(statusBar(), &QStatusBar::messageChanged, this,
            [this](const QString& strMessage) { m_pMessagePane->setVisible(strMessage.isEmpty()); });
}

void CMainFrame::SetView(CDravelinView* pView)
{
    m_pView = pView;
    setCentralWidget(pView);
}

void CMainFrame::OnCommand(int nId)
{
    switch (nId)
    {
    case ID_APP_ABOUT:
        ShowAbout();
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(!m_pToolBar->isVisible());
        break;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisible());
        break;
    case ID_NEXT_PANE:
        focusNextChild();
        break;
    case ID_PREV_PANE:
        focusPreviousChild();
        break;
    default:
        if (m_pView)
            m_pView->OnCommand(nId);
        break;
    }
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI()
{
    for (auto& [nId, pAction] : m_actions)
    {
        CCmdUI ui;
        bool bKnown = true;
        switch (nId)
        {
        case ID_APP_ABOUT:
        case ID_APP_EXIT:
        case ID_NEXT_PANE:
        case ID_PREV_PANE:
            break;
        case ID_VIEW_TOOLBAR:
            ui.m_bChecked = !m_pToolBar->isHidden();
            break;
        case ID_VIEW_STATUS_BAR:
            ui.m_bChecked = !statusBar()->isHidden();
            break;
        default:
            bKnown = m_pView && m_pView->OnUpdateCommand(nId, ui);
            break;
        }
        // A command nobody handles is disabled, as the menus always did.
        pAction->setEnabled(bKnown && ui.m_bEnabled);
        if (pAction->isCheckable())
            pAction->setChecked(bKnown && ui.m_bChecked);
    }
}

void CMainFrame::ShowAbout()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::ActivateFrame()
{
    if (!m_bFirstActivation)
    {
        show();
        return;
    }
    m_bFirstActivation = 0;
    CProfileFile ini;
    ini.Read(m_doc.GetIniPath());
    const bool bMaximized = ini.GetInt(kSection, "Maximized", 0) != 0;
    const bool bMinimized = ini.GetInt(kSection, "Minimized", 0) != 0;
    const int nLeft = ini.GetInt(kSection, "Left", 0);
    const int nTop = ini.GetInt(kSection, "Top", 0);
    const int nRight = ini.GetInt(kSection, "Right", kMinWidth);
    const int nBottom = ini.GetInt(kSection, "Bottom", kMinHeight);
    // Applied unchanged; only the minimum size holds it back.
    move(nLeft, nTop);
    resize(nRight - nLeft, nBottom - nTop);
    m_rcNormal = QRect(QPoint(nLeft, nTop), size());
    if (bMinimized)
    {
        // Restoring a window minimized from the maximized state maximizes it.
        setWindowState(Qt::WindowMinimized | (bMaximized ? Qt::WindowMaximized : Qt::WindowNoState));
        show();
    }
    else if (bMaximized)
    {
        showMaximized();
    }
    else
    {
        show();
    }
    UpdateCommandUI();
}

void CMainFrame::TrackNormalRect()
{
    if (windowState() == Qt::WindowNoState && isVisible())
        m_rcNormal = QRect(pos(), size());
}

void CMainFrame::moveEvent(QMoveEvent* pEvent)
{
    QMainWindow::moveEvent(pEvent);
    TrackNormalRect();
}

void CMainFrame::resizeEvent(QResizeEvent* pEvent)
{
    QMainWindow::resizeEvent(pEvent);
    TrackNormalRect();
}

void CMainFrame::changeEvent(QEvent* pEvent)
{
    QMainWindow::changeEvent(pEvent);
    if (pEvent->type() == QEvent::WindowStateChange)
        TrackNormalRect();
}

void CMainFrame::OnDestroy()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    SavePlacement();
}

void CMainFrame::SavePlacement()
{
    TrackNormalRect();
    const Qt::WindowStates state = windowState();
    const bool bMinimized = (state & Qt::WindowMinimized) != 0;
    const bool bMaximized = (state & Qt::WindowMaximized) != 0;
    CProfileFile ini;
    const std::string strIni = m_doc.GetIniPath();
    if (!ini.ReadForUpdate(strIni))
        return;
    ini.SetInt(kSection, "Maximized", bMaximized ? 1 : 0);
    ini.SetInt(kSection, "Minimized", bMinimized ? 1 : 0);
    ini.SetInt(kSection, "Left", m_rcNormal.left());
    ini.SetInt(kSection, "Top", m_rcNormal.top());
    ini.SetInt(kSection, "Right", m_rcNormal.left() + m_rcNormal.width());
    ini.SetInt(kSection, "Bottom", m_rcNormal.top() + m_rcNormal.height());
    ini.Write(strIni);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent)
{
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        pEvent->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* pEvent)
{
    std::vector<std::string> files;
    for (const QUrl& url : pEvent->mimeData()->urls())
    {
        if (!url.isLocalFile())
            continue;
        std::string strPath = url.toLocalFile().toLocal8Bit().toStdString();
        if (CNzbImport::IsNzbPath(strPath) || CDownloadController::IsQueueFilePath(strPath))
            files.push_back(std::move(strPath));
    }
    pEvent->acceptProposedAction();
    // After the drop has ended: the drag source is not kept waiting on a
    // message box.
    if (m_pView && !files.empty())
        QTimer::singleShot(0, this,
                           [this, files]
                           {
                               for (const std::string& strPath : files)
                                   m_pView->Downloads().OpenFile(strPath);
                           });
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    if (!m_doc.SaveModified(m_prompts))
    {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
}
