#include "dialogs/PageAccount.h"

#include "dialogs/UpDownEdit.h"
#include "net/GatewayHosts.h"
#include "ui/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <mutex>

namespace
{
struct CServiceEntry
{
    const char* pszName;
    int32_t nCode;
    const char* pszHeaderHost;
    const char* pszDownloadHost;
};

// The names the service box understands (it is editable, so the two
// WebUseNet names can be typed).
constexpr CServiceEntry kServices[] = {
    {"NewsGuy", ServiceNewsGuy, GatewayHosts::kNewsGuyHeaderHost, GatewayHosts::kNewsGuyDownloadHost},
    {"NewsGuy Extra", ServiceNewsGuyExtra, GatewayHosts::kNewsGuyHeaderHost, GatewayHosts::kNewsGuyDownloadHost},
    {"WebUseNet", ServiceWebUseNet, GatewayHosts::kWebUseNetHost, GatewayHosts::kWebUseNetHost},
    {"WebUseNet Members", ServiceWebUseNetMembers, GatewayHosts::kWebUseNetMembersHost,
     GatewayHosts::kWebUseNetMembersHost},
    {"EasyNews", ServiceEasyNews, GatewayHosts::kEasyNewsMembersHost, GatewayHosts::kEasyNewsMembersHost},
};

const CServiceEntry* FindService(const std::string& strName)
{
    for (const CServiceEntry& entry : kServices)
        if (strName == entry.pszName)
            return &entry;
    return nullptr;
}

int32_t RetrieveByCode(const QString& strText)
{
    if (strText == "Author")
        return 0;
    if (strText == "Date (Asc)")
        return 1;
    if (strText == "Date (Desc)")
        return 2;
    return 3;
}
} // namespace

CPageAccount::CPageAccount(IPrompts& prompts, QWidget* pParent) : QWidget(pParent), m_prompts(prompts)
{
    auto* pLayout = new QGridLayout(this);
    m_lstAccounts = new QTreeWidget(this);
    m_lstAccounts->setObjectName(QStringLiteral("Accounts"));
    m_lstAccounts->setRootIsDecorated(false);
    m_lstAccounts->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstAccounts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstAccounts->setSortingEnabled(false);
    m_lstAccounts->header()->setSectionsClickable(false);
    m_lstAccounts->setHeaderLabels({"Service", "Username", "Password", "Max. D/L"});
    const int widths[] = {104, 80, 60, 60};
    for (int i = 0; i < 4; ++i)
        m_lstAccounts->setColumnWidth(i, widths[i]);
    pLayout->addWidget(m_lstAccounts, 0, 0, 1, 4);

    m_cmbService = new QComboBox(this);
    m_cmbService->setObjectName(QStringLiteral("Service"));
    m_cmbService->setEditable(true);
    m_cmbService->setInsertPolicy(QComboBox::NoInsert);
    m_cmbService->addItems({"NewsGuy", "NewsGuy Extra", "EasyNews"});
    m_cmbService->setCurrentIndex(-1);
    m_stcRetrieveBy = new QLabel(QStringLiteral("Retrieve by:"), this);
    m_cmbRetrieveBy = new QComboBox(this);
    m_cmbRetrieveBy->addItems({"Author", "Date (Asc)", "Date (Desc)", "Subject"});
    m_cmbRetrieveBy->setCurrentIndex(-1);
    m_edtDownloads = new CUpDownEdit(0, 100, this);
    m_edtDownloads->setObjectName(QStringLiteral("Downloads"));
    m_edtDownloads->SetValue(0);
    m_edtUsername = new QLineEdit(this);
    m_edtUsername->setObjectName(QStringLiteral("Username"));
    m_edtPassword = new QLineEdit(this);
    m_edtPassword->setObjectName(QStringLiteral("Password"));
    m_edtPassword->setEchoMode(QLineEdit::Password);
    m_chkShowOnlyBin = new QCheckBox(QStringLiteral("Binaries only"), this);
    m_chkIgnoreLimit = new QCheckBox(QStringLiteral("Ignore daily limit"), this);
    // Kept for the values they carry between an account and Add / Update,
    // never shown.
    for (QWidget* pHidden : std::initializer_list<QWidget*>{m_stcRetrieveBy, m_cmbRetrieveBy, m_chkShowOnlyBin,
                                                            m_chkIgnoreLimit})
        pHidden->setVisible(false);

    pLayout->addWidget(new QLabel(QStringLiteral("News Service Provider:"), this), 1, 0);
    pLayout->addWidget(m_cmbService, 1, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Downloads:"), this), 1, 2);
    pLayout->addWidget(m_edtDownloads, 1, 3);
    pLayout->addWidget(new QLabel(QStringLiteral("Username:"), this), 2, 0);
    pLayout->addWidget(m_edtUsername, 2, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Password:"), this), 3, 0);
    pLayout->addWidget(m_edtPassword, 3, 1);

    auto* pButtons = new QHBoxLayout;
    m_btnRemove = new QPushButton(QStringLiteral("&Remove"), this);
    m_btnUpdate = new QPushButton(QStringLiteral("&Update"), this);
    m_btnAdd = new QPushButton(QStringLiteral("&Add"), this);
    m_btnRemove->setEnabled(false);
    m_btnUpdate->setEnabled(false);
    pButtons->addStretch(1);
    pButtons->addWidget(m_btnRemove);
    pButtons->addWidget(m_btnUpdate);
    pButtons->addWidget(m_btnAdd);
    pLayout->addLayout(pButtons, 4, 0, 1, 4);

    connect(m_btnAdd, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(m_btnUpdate, &QPushButton::clicked, this, [this] { OnUpdate(); });
    connect(m_btnRemove, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(m_lstAccounts, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
}

void CPageAccount::SetControls()
{
    m_lstAccounts->clear();
    for (size_t i = 0; i < m_accounts.size(); ++i)
    {
        new QTreeWidgetItem(m_lstAccounts);
        FillRow(static_cast<int>(i));
    }
}

void CPageAccount::FillRow(int nRow)
{
    QTreeWidgetItem* pItem = m_lstAccounts->topLevelItem(nRow);
    const ServiceAccount& account = *m_accounts[static_cast<size_t>(nRow)];
    std::lock_guard lock(account.m_lock);
    pItem->setText(0, QString::fromLatin1(ServiceDisplayName(account.m_nService)));
    pItem->setText(1, QString::fromLocal8Bit(account.m_strUsername.c_str()));
    pItem->setText(2, QStringLiteral("*********"));
    pItem->setText(3, QString::number(account.m_nMaxDownloads));
}

int CPageAccount::SelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = m_lstAccounts->selectedItems();
    return selected.isEmpty() ? -1 : m_lstAccounts->indexOfTopLevelItem(selected.first());
}

void CPageAccount::EnableServiceOptions(int32_t nService)
{
    const bool bOptions = nService != ServiceEasyNews;
    m_stcRetrieveBy->setEnabled(bOptions);
    m_cmbRetrieveBy->setEnabled(bOptions);
    m_chkShowOnlyBin->setEnabled(bOptions);
    m_chkIgnoreLimit->setEnabled(nService == ServiceNewsGuyExtra);
}

void CPageAccount::OnSelectionChanged()
{
    const int nRow = SelectedRow();
    m_btnRemove->setEnabled(nRow >= 0);
    m_btnUpdate->setEnabled(nRow >= 0);
    if (nRow < 0)
        return;
    const ServiceAccount& account = *m_accounts[static_cast<size_t>(nRow)];
    std::lock_guard lock(account.m_lock);
    // The box offers no WebUseNet entries: such an account selects none.
    m_cmbService->setCurrentIndex(m_cmbService->findText(QString::fromLatin1(ServiceDisplayName(account.m_nService))));
    if (m_cmbService->currentIndex() < 0)
        m_cmbService->setEditText(QString());
    m_cmbRetrieveBy->setCurrentIndex(account.m_nRetrieveBy);
    m_chkShowOnlyBin->setChecked(account.m_bShowOnlyBin != 0);
    m_chkIgnoreLimit->setChecked(account.m_bIgnoreNewsGuyLimit != 0);
    m_edtUsername->setText(QString::fromLocal8Bit(account.m_strUsername.c_str()));
    m_edtPassword->setText(QString::fromLocal8Bit(account.m_strPassword.c_str()));
    m_edtDownloads->SetValue(account.m_nMaxDownloads);
    EnableServiceOptions(account.m_nService);
}

void CPageAccount::AddOrUpdate(bool bAdd)
{
    const std::string strService = m_cmbService->currentText().toLocal8Bit().toStdString();
    if (strService.empty())
    {
        m_prompts.ShowMessage(kNoService, PromptIcon::None);
        return;
    }
    // An unknown name would make an account that has no section of its own
    // in the settings file and could never be loaded again.
    const CServiceEntry* pService = FindService(strService);
    if (!pService)
    {
        m_prompts.ShowMessage("Unknown News Service Provider: " + strService +
                                  "\nChoose NewsGuy, NewsGuy Extra, WebUseNet, WebUseNet Members or EasyNews.",
                              PromptIcon::None);
        return;
    }
    const int32_t nRetrieveBy = RetrieveByCode(m_cmbRetrieveBy->currentText());
    const std::string strUsername = m_edtUsername->text().trimmed().toLocal8Bit().toStdString();
    if (strUsername.empty())
    {
        m_prompts.ShowMessage(kNoUsername, PromptIcon::None);
        return;
    }
    const std::string strPassword = m_edtPassword->text().trimmed().toLocal8Bit().toStdString();
    if (strPassword.empty())
    {
        m_prompts.ShowMessage(kNoPassword, PromptIcon::None);
        return;
    }
    const int nDownloads = CUpDownEdit::LeadingInt(m_edtDownloads->text());
    if (nDownloads >= 101)
    {
        m_prompts.ShowMessage(kTooManyDownloads, PromptIcon::None);
        return;
    }
    // The settings file holds one account per service.
    const int nSelected = SelectedRow();
    for (size_t i = 0; i < m_accounts.size(); ++i)
    {
        if (!bAdd && static_cast<int>(i) == nSelected)
            continue;
        if (m_accounts[i]->m_nService == pService->nCode && (bAdd || nSelected >= 0))
        {
            m_prompts.ShowMessage(std::string("There is already an account for ") + pService->pszName +
                                      ".\nSelect it and press Update to change it.",
                                  PromptIcon::None);
            return;
        }
    }

    if (bAdd)
    {
        auto pAccount = std::make_shared<ServiceAccount>();
        pAccount->m_nService = pService->nCode;
        pAccount->m_strHeaderDomain = pService->pszHeaderHost;
        pAccount->m_strDownloadDomain = pService->pszDownloadHost;
        pAccount->m_nRetrieveBy = nRetrieveBy;
        pAccount->m_bShowOnlyBin = m_chkShowOnlyBin->isChecked() ? 1 : 0;
        pAccount->m_bIgnoreNewsGuyLimit = m_chkIgnoreLimit->isChecked() ? 1 : 0;
        pAccount->m_nMaxDownloads = nDownloads;
        pAccount->m_strUsername = strUsername;
        pAccount->m_strPassword = strPassword;
        m_accounts.push_back(std::move(pAccount));
        new QTreeWidgetItem(m_lstAccounts);
        FillRow(static_cast<int>(m_accounts.size()) - 1);
    }
    else if (nSelected >= 0)
    {
        ServiceAccount& account = *m_accounts[static_cast<size_t>(nSelected)];
        {
            std::lock_guard lock(account.m_lock);
            // The hosts stay as they were.
            account.m_nService = pService->nCode;
            account.m_nRetrieveBy = nRetrieveBy;
            account.m_bShowOnlyBin = m_chkShowOnlyBin->isChecked() ? 1 : 0;
            account.m_bIgnoreNewsGuyLimit = m_chkIgnoreLimit->isChecked() ? 1 : 0;
            account.m_nMaxDownloads = nDownloads;
            account.m_strUsername = strUsername;
            account.m_strPassword = strPassword;
        }
        FillRow(nSelected);
    }
    m_bModified = true;
}

void CPageAccount::OnRemove()
{
    const int nRow = SelectedRow();
    if (nRow < 0)
        return;
    delete m_lstAccounts->takeTopLevelItem(nRow);
    m_accounts.erase(m_accounts.begin() + nRow);
    m_bModified = true;
}

bool CPageAccount::Validate()
{
    int32_t nValue = 0;
    return CUpDownEdit::CheckInt(m_edtDownloads, m_edtDownloads->text(), 0, 100, m_prompts, nValue);
}
