#include "dialogs/PreferencesDlg.h"

#include "dialogs/PageAccount.h"
#include "dialogs/PageDownload.h"
#include "dialogs/PageProxy.h"
#include "dialogs/PageQueue.h"
#include "dialogs/PageUsenet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

CPreferencesDlg::CPreferencesDlg(IPrompts& prompts, QWidget* pParent) : QDialog(pParent), m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Preferences"));
    auto* pLayout = new QVBoxLayout(this);
    m_pTabs = new QTabWidget(this);
    m_pPageAccount = new CPageAccount(prompts, m_pTabs);
    m_pPageProxy = new CPageProxy(m_pTabs);
    m_pPageDownload = new CPageDownload(m_pTabs);
    m_pPageQueue = new CPageQueue(m_pTabs);
    m_pPageUsenet = new CPageUsenet(prompts, m_pTabs);
    m_pTabs->addTab(m_pPageAccount, QStringLiteral("Account"));
    m_pTabs->addTab(m_pPageProxy, QStringLiteral("Proxy"));
    m_pTabs->addTab(m_pPageDownload, QStringLiteral("Download"));
    m_pTabs->addTab(m_pPageQueue, QStringLiteral("Queue"));
    m_pTabs->addTab(m_pPageUsenet, QStringLiteral("Usenet"));
    m_pTabs->setCurrentIndex(0);
    pLayout->addWidget(m_pTabs);
    auto* pButtons = new QDialogButtonBox(this);
    m_btnOk = pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_btnOk->setDefault(true);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_chkNotifications = new QCheckBox(QStringLiteral("Desktop &notifications"), this);
    pButtons->addButton(m_chkNotifications, QDialogButtonBox::ActionRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
}

void CPreferencesDlg::SetControls()
{
    m_pPageAccount->SetControls();
    m_pPageProxy->SetControls(m_prefs);
    m_pPageDownload->SetControls(m_prefs);
    m_pPageQueue->SetControls(m_prefs);
    m_pPageUsenet->SetControls(m_usenet);
}

void CPreferencesDlg::accept()
{
    // A bad value keeps the sheet open on its page; m_prefs only changes when
    // every page is valid.
    CPreferences prefs(m_prefs);
    if (!m_pPageAccount->Validate())
    {
        m_pTabs->setCurrentWidget(m_pPageAccount);
        return;
    }
    if (!m_pPageProxy->GetControls(prefs, m_prompts))
    {
        m_pTabs->setCurrentWidget(m_pPageProxy);
        return;
    }
    if (!m_pPageDownload->GetControls(prefs, m_prompts))
    {
        m_pTabs->setCurrentWidget(m_pPageDownload);
        return;
    }
    m_pPageQueue->GetControls(prefs);
    CUsenetSettings usenet;
    if (!m_pPageUsenet->GetControls(usenet))
    {
        m_pTabs->setCurrentWidget(m_pPageUsenet);
        return;
    }
    m_prefs = prefs;
    m_usenet = usenet;
    QDialog::accept();
}
