#include "app/DialogController.h"

#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "dialogs/FilterDlg.h"
#include "dialogs/FindDlg.h"
#include "dialogs/KillEntryDlg.h"
#include "dialogs/KillFilterDlg.h"
#include "filters/ArticleSearch.h"
#include "filters/KillFile.h"
#include "lists/ArticleListCtrl.h"
#include "model/Article.h"

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
