#include "dialogs/KillEntryDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CKillEntryDlg::CKillEntryDlg(QWidget* pParent) : QDialog(pParent)
{
    auto* pLayout = new QGridLayout(this);
    m_stcLabel = new QLabel(this);
    m_edtEntry = new QLineEdit(this);
    m_edtEntry->setObjectName(QStringLiteral("Entry"));
    m_edtEntry->setMinimumWidth(260);
    m_stcLabel->setBuddy(m_edtEntry);
    auto* pButtons = new QDialogButtonBox(Qt::Vertical, this);
    pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(m_stcLabel, 0, 0);
    pLayout->addWidget(m_edtEntry, 1, 0);
    pLayout->addWidget(pButtons, 0, 1, 2, 1);
    SetControls();
}

void CKillEntryDlg::SetControls()
{
    setWindowTitle(QString::fromLocal8Bit(m_strTitle.c_str()));
    m_stcLabel->setText(QString::fromLocal8Bit(m_strLabel.c_str()));
    m_edtEntry->setText(QString::fromLocal8Bit(m_strEntry.c_str()));
}

void CKillEntryDlg::accept()
{
    m_strEntry = m_edtEntry->text().toLocal8Bit().toStdString();
    QDialog::accept();
}
