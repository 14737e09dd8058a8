#include "app/DialogController.h"

#include "app/DownloadController.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "dialogs/FilterDlg.h"
#include "dialogs/FindDlg.h"
#include "dialogs/KillEntryDlg.h"
#include "dialogs/KillFilterDlg.h"
#include "dialogs/PageAccount.h"
#include "dialogs/PreferencesDlg.h"
#include "filters/ArticleSearch.h"
#include "filters/KillFile.h"
#include "gateway/real/UsenetGateway.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"
#include "net/GatewayHosts.h"
#include "settings/ServiceRoutes.h"

#include <QCheckBox>

#include <algorithm>
#include <mutex>

CDialogController::CDialogController(CDravelinDoc& doc, CDravelinView& view, IPrompts& prompts)
    : QObject(&view), m_doc(doc), m_view(view), m_prompts(prompts)
{
    setObjectName(QStringLiteral("DialogController"));
    RegisterCommands();
}

bool CDialogController::RunDialog(QDialog& dlg)
{
    if (m_fnRunDialog)
        return m_fnRunDialog(dlg);
    return dlg.exec() == QDialog::Accepted;
}

void CDialogController::RegisterCommands()
{
    auto hasRows = [this](CCmdUI& ui) { ui.m_bEnabled = m_view.Articles().GetItemCount() > 0; };
    m_view.RegisterCommand(ID_ARTICLE_FIND, [this] { OnFind(); }, hasRows);
    m_view.RegisterCommand(ID_ARTICLE_FILTER, [this] { OnFilter(); }, hasRows);
    m_view.RegisterCommand(ID_ARTICLE_KILLFILTER, [this] { OnKillFilter(); });
    m_view.RegisterCommand(ID_ARTICLE_ADDAUTHORTOKILL, [this] { OnAddToKillFilter(true); });
    m_view.RegisterCommand(ID_ARTICLE_ADDSUBJECTTOKILL, [this] { OnAddToKillFilter(false); });
    m_view.RegisterCommand(ID_FILE_PREFERENCES, [this] { OnPreferences(); });
}

void CDialogController::OnFind()
{
    CArticleList& list = m_view.Articles();
    CFindDlg dlg(&m_view);
    dlg.m_strText = list.m_strFind;
    // Match case starts unchecked every time.
    dlg.m_bMatchCase = false;
    dlg.SetControls();
    if (!RunDialog(dlg))
        return;
    CArticleSearch::Find(list, dlg.m_strText, dlg.m_bMatchCase, &m_prompts);
}

void CDialogController::OnFilter()
{
    CArticleList& list = m_view.Articles();
    CFilterDlg dlg(&m_view);
    dlg.m_strText = list.m_strFilter;
    dlg.m_bRemove = true;
    dlg.m_bInverted = false;
    dlg.m_bMatchCase = false;
    dlg.SetControls();
    if (!RunDialog(dlg))
        return;
    CArticleListCtrl& ctrl = m_view.ArticleListCtrl();
    ctrl.SetRedraw(false);
    CArticleSearch::ApplyFilter(list, dlg.m_strText, dlg.m_bMatchCase, dlg.m_bRemove, dlg.m_bInverted);
    ctrl.SetRedraw(true);
    ctrl.setFocus(Qt::OtherFocusReason);
}

void CDialogController::OnKillFilter()
{
    CKillFilter& filter = m_view.Retrieval().m_killFilter;
    CKillFilterDlg dlg(filter.m_lstKillSubjects, filter.m_lstKillAuthors, &m_view);
    if (!RunDialog(dlg))
        return;
    // The lists were replaced: the arrival test must see the new entries.
    filter.Compile();
    CKillFile::SaveKillFilter(m_doc.Folder().GetAuthorKillPath(), filter.m_lstKillAuthors);
    CKillFile::SaveKillFilter(m_doc.Folder().GetSubjectKillPath(), filter.m_lstKillSubjects);
}

void CDialogController::OnAddToKillFilter(bool bAuthor)
{
    CKillFilter& filter = m_view.Retrieval().m_killFilter;
    std::vector<std::string>& entries = bAuthor ? filter.m_lstKillAuthors : filter.m_lstKillSubjects;
    CKillEntryDlg dlg(&m_view);
    if (bAuthor)
    {
        dlg.m_strTitle = "Add author to kill filter";
        dlg.m_strLabel = "&Author:";
    }
    auto ask = [&](const std::string& strEntry)
    {
        dlg.m_strEntry = strEntry;
        dlg.SetControls();
        if (RunDialog(dlg))
            entries.push_back(dlg.m_strEntry);
    };

    CArticleList& list = m_view.Articles();
    bool bAny = false;
    // The rows are collected first: the dialog runs an event loop, and a
    // listing that goes on meanwhile may add rows.
    std::vector<ArticlePtr> selected;
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (list.IsSelected(i))
            selected.push_back(list.GetArticle(i));
    for (const ArticlePtr& pArticle : selected)
    {
        bAny = true;
        std::string strField;
        {
            std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
            strField = bAuthor ? pArticle->m_strAuthor : pArticle->m_strSubject;
        }
        ask(strField);
    }
    if (!bAny)
        ask(std::string());
    filter.Compile();
    CKillFile::SaveKillFilter(bAuthor ? m_doc.Folder().GetAuthorKillPath() : m_doc.Folder().GetSubjectKillPath(),
                              entries);
}

namespace
{
// The values the preferences sheet shows, copied back on OK (the others,
// such as "GetRightPath" and the platform flags, stay as they are).
void CopyPageValues(const CPreferences& from, CPreferences& to)
{
    to.m_bUseProxy = from.m_bUseProxy;
    to.m_nProxySetting = from.m_nProxySetting;
    to.m_strProxyAddress = from.m_strProxyAddress;
    to.m_nProxyPort = from.m_nProxyPort;
    to.m_bProxyAuthentication = from.m_bProxyAuthentication;
    to.m_strProxyUsername = from.m_strProxyUsername;
    to.m_strProxyPassword = from.m_strProxyPassword;
    to.m_strDefaultPath = CPreferences::FolderPath(from.m_strDefaultPath);
    to.m_nMaxRetries = from.m_nMaxRetries;
    to.m_bRetryInfinite = from.m_bRetryInfinite;
    to.m_nMaxDownloads = from.m_nMaxDownloads;
    to.m_bKeepFailed = from.m_bKeepFailed;
    to.m_bResumeFailed = from.m_bResumeFailed;
    to.m_bDeleteTempInet = from.m_bDeleteTempInet;
    to.m_bEmptyRecycleBin = from.m_bEmptyRecycleBin;
    to.m_bUpdateArticleStatus = from.m_bUpdateArticleStatus;
    to.m_bReplaceUnderscore = from.m_bReplaceUnderscore;
    to.m_bDoNotQueue = from.m_bDoNotQueue;
    to.m_nDownloadManager = from.m_nDownloadManager;
    to.m_bSaveQueue = from.m_bSaveQueue;
    to.m_bLoadQueue = from.m_bLoadQueue;
    to.m_bLoadOriginalQueue = from.m_bLoadOriginalQueue;
}
} // namespace

void CDialogController::OnPreferences()
{
    CQueueDocument& doc = m_doc.Document();
    CPreferencesDlg dlg(m_prompts, &m_view);
    for (const AccountPtr& pAccount : doc.m_accounts)
        dlg.PageAccount().m_accounts.push_back(std::make_shared<ServiceAccount>(*pAccount));
    {
        std::lock_guard lock(doc.m_settings.m_lock);
        dlg.m_prefs = doc.m_settings;
    }
    const std::string strIni = m_doc.GetIniPath();
    CUsenetSettings usenet;
    usenet.Load(strIni);
    dlg.m_usenet = usenet;
    dlg.SetControls();
    CDesktopNotifier& notifier = m_view.Downloads().Notifier();
    dlg.NotificationsCheck()->setChecked(notifier.IsEnabled());
    if (!RunDialog(dlg))
        return;
    notifier.SetEnabled(dlg.NotificationsCheck()->isChecked());

    // The new account list. An account whose service the document already
    // had stays the same object, updated in place: a running download holds
    // it and counts its end there, so the running count stays true. A
    // removed account lives on while a download still holds it.
    std::vector<AccountPtr> accounts;
    int32_t nSubscriptions = 0;
    for (const AccountPtr& pEdited : dlg.PageAccount().m_accounts)
    {
        AccountPtr pAccount = doc.FindAccount(pEdited->m_nService);
        const bool bTaken = std::find(accounts.begin(), accounts.end(), pAccount) != accounts.end();
        if (pAccount && !bTaken)
        {
            std::lock_guard lock(pAccount->m_lock);
            const int32_t nRunning = pAccount->m_nRunning;
            *pAccount = *pEdited;
            pAccount->m_nRunning = nRunning;
        }
        else
        {
            pAccount = std::make_shared<ServiceAccount>(*pEdited);
            pAccount->m_nRunning = 0;
        }
        nSubscriptions += pAccount->m_nService;
        accounts.push_back(std::move(pAccount));
    }
    {
        std::lock_guard lock(doc.m_lock);
        doc.m_accounts = std::move(accounts);
        doc.m_nSubscriptions = nSubscriptions;
    }
    {
        std::lock_guard lock(doc.m_settings.m_lock);
        CopyPageValues(dlg.m_prefs, doc.m_settings);
    }
    doc.SaveAccounts(strIni);
    doc.m_settings.Save(strIni);
    CDesktopNotifier::WriteEnabled(strIni, notifier.IsEnabled());
    if (!(dlg.m_usenet == usenet))
        ApplyUsenet(dlg.m_usenet);
    // The Service menu follows the new subscriptions at the next update pass,
    // which the view runs after every command.
}

void CDialogController::ApplyUsenet(const CUsenetSettings& usenet)
{
    const std::string strIni = m_doc.GetIniPath();
    std::string strError;
    if (!usenet.Save(strIni, &strError))
        m_view.AppendStatusLine(strError);
    CUsenetGateway* pGateway = m_doc.UsenetGateway();
    if (!pGateway)
        return;
    // Downloads that run go on against the old server; the next ones take
    // the new values (or, switched off, the account's own hosts).
    const std::string strOldRoute = CServiceRoutes::Get(ServiceNewsGuy);
    std::string strStatus;
    pGateway->Apply(usenet, strStatus);
    m_doc.Document().FollowRoute(strIni, ServiceNewsGuy, strOldRoute);
    if (!strStatus.empty())
        m_view.AppendStatusLine(strStatus);
}
