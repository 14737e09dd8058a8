#include "dialogs/PageProxy.h"

#include "dialogs/UpDownEdit.h"
#include "settings/Preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

CPageProxy::CPageProxy(QWidget* pParent) : QWidget(pParent)
{
    auto* pLayout = new QGridLayout(this);
    m_chkUseProxy = new QCheckBox(QStringLiteral("&Use a proxy server"), this);
    m_rdoRegistry = new QRadioButton(QStringLiteral("&Get proxy settings from registry"), this);
    m_rdoManual = new QRadioButton(QStringLiteral("Use &manual proxy settings"), this);
    auto* pGroup = new QButtonGroup(this);
    pGroup->addButton(m_rdoRegistry, 0);
    pGroup->addButton(m_rdoManual, 1);
    m_stcAddress = new QLabel(QStringLiteral("&Address:"), this);
    m_edtAddress = new QLineEdit(this);
    m_stcPort = new QLabel(QStringLiteral("&Port:"), this);
    m_edtPort = new QLineEdit(this);
    m_edtPort->setObjectName(QStringLiteral("ProxyPort"));
    m_chkAuthentication = new QCheckBox(QStringLiteral("&Require proxy authentication"), this);
    m_stcUsername = new QLabel(QStringLiteral("User&name:"), this);
    m_edtUsername = new QLineEdit(this);
    m_stcPassword = new QLabel(QStringLiteral("Pass&word:"), this);
    m_edtPassword = new QLineEdit(this);
    m_edtPassword->setEchoMode(QLineEdit::Password);
    m_stcAddress->setBuddy(m_edtAddress);
    m_stcPort->setBuddy(m_edtPort);
    m_stcUsername->setBuddy(m_edtUsername);
    m_stcPassword->setBuddy(m_edtPassword);

    pLayout->addWidget(m_chkUseProxy, 0, 0, 1, 4);
    pLayout->addWidget(m_rdoRegistry, 1, 1, 1, 3);
    pLayout->addWidget(m_rdoManual, 2, 1, 1, 3);
    pLayout->addWidget(m_stcAddress, 3, 1);
    pLayout->addWidget(m_edtAddress, 3, 2);
    pLayout->addWidget(m_stcPort, 3, 3);
    pLayout->addWidget(m_edtPort, 3, 4);
    pLayout->addWidget(m_chkAuthentication, 4, 1, 1, 3);
    pLayout->addWidget(m_stcUsername, 5, 1);
    pLayout->addWidget(m_edtUsername, 5, 2);
    pLayout->addWidget(m_stcPassword, 6, 1);
    pLayout->addWidget(m_edtPassword, 6, 2);
    pLayout->setRowStretch(7, 1);

    for (QAbstractButton* pButton :
         std::initializer_list<QAbstractButton*>{m_chkUseProxy, m_rdoRegistry, m_rdoManual})
        connect(pButton, &QAbstractButton::clicked, this,
                [this]
                {
                    UpdateEnabling();
                    m_bModified = true;
                });
    connect(m_chkAuthentication, &QAbstractButton::clicked, this,
            [this](bool bChecked)
            {
                EnableAuthentication(bChecked);
                m_bModified = true;
            });
    for (QLineEdit* pEdit : {m_edtAddress, m_edtPort, m_edtUsername, m_edtPassword})
        connect(pEdit, &QLineEdit::textEdited, this, [this] { m_bModified = true; });
}

void CPageProxy::EnableAuthentication(bool bEnable)
{
    for (QWidget* pWidget :
         std::initializer_list<QWidget*>{m_stcUsername, m_edtUsername, m_stcPassword, m_edtPassword})
        pWidget->setEnabled(bEnable);
}

void CPageProxy::UpdateEnabling()
{
    const bool bUse = m_chkUseProxy->isChecked();
    m_rdoRegistry->setEnabled(bUse);
    m_rdoManual->setEnabled(bUse);
    const bool bManual = bUse && m_rdoManual->isChecked();
    for (QWidget* pWidget : std::initializer_list<QWidget*>{m_stcAddress, m_edtAddress, m_stcPort, m_edtPort})
        pWidget->setEnabled(bManual);
    m_chkAuthentication->setEnabled(bUse);
    EnableAuthentication(bUse && m_chkAuthentication->isChecked());
}

void CPageProxy::SetControls(const CPreferences& prefs)
{
    m_chkUseProxy->setChecked(prefs.m_bUseProxy != 0);
    m_rdoRegistry->setChecked(prefs.m_nProxySetting == 0);
    m_rdoManual->setChecked(prefs.m_nProxySetting == 1);
    m_edtAddress->setText(QString::fromLocal8Bit(prefs.m_strProxyAddress.c_str()));
    m_edtPort->setText(QString::number(prefs.m_nProxyPort));
    m_chkAuthentication->setChecked(prefs.m_bProxyAuthentication != 0);
    m_edtUsername->setText(QString::fromLocal8Bit(prefs.m_strProxyUsername.c_str()));
    m_edtPassword->setText(QString::fromLocal8Bit(prefs.m_strProxyPassword.c_str()));
    UpdateEnabling();
}

bool CPageProxy::GetControls(CPreferences& prefs, IPrompts& prompts)
{
    int32_t nPort = 0;
    // 65335 is the limit the settings have always had.
    if (!CUpDownEdit::CheckInt(m_edtPort, m_edtPort->text(), 0, 65335, prompts, nPort))
        return false;
    prefs.m_bUseProxy = m_chkUseProxy->isChecked() ? 1 : 0;
    prefs.m_nProxySetting = m_rdoManual->isChecked() ? 1 : (m_rdoRegistry->isChecked() ? 0 : prefs.m_nProxySetting);
    prefs.m_strProxyAddress = m_edtAddress->text().toLocal8Bit().toStdString();
    prefs.m_nProxyPort = nPort;
    prefs.m_bProxyAuthentication = m_chkAuthentication->isChecked() ? 1 : 0;
    prefs.m_strProxyUsername = m_edtUsername->text().toLocal8Bit().toStdString();
    prefs.m_strProxyPassword = m_edtPassword->text().toLocal8Bit().toStdString();
    return true;
}
