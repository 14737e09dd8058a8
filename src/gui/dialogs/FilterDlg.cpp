#include "dialogs/FilterDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CFilterDlg::CFilterDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Filter"));
    auto* pLayout = new QGridLayout(this);
    auto* pLabel = new QLabel(QStringLiteral("&Filter"), this);
    m_edtText = new QLineEdit(this);
    m_edtText->setObjectName(QStringLiteral("FilterText"));
    pLabel->setBuddy(m_edtText);
    m_chkMatchCase = new QCheckBox(QStringLiteral("&Match case"), this);
    m_chkMatchCase->setObjectName(QStringLiteral("MatchCase"));
    m_chkRemove = new QCheckBox(QStringLiteral("&Remove"), this);
    m_chkRemove->setObjectName(QStringLiteral("Remove"));
    m_chkInverted = new QCheckBox(QStringLiteral("&Inverted"), this);
    m_chkInverted->setObjectName(QStringLiteral("Inverted"));
    auto* pButtons = new QDialogButtonBox(Qt::Vertical, this);
    pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pLabel, 0, 0);
    pLayout->addWidget(m_edtText, 0, 1, 1, 3);
    pLayout->addWidget(m_chkMatchCase, 1, 1);
    pLayout->addWidget(m_chkRemove, 1, 2);
    pLayout->addWidget(m_chkInverted, 1, 3);
    pLayout->addWidget(pButtons, 0, 4, 2, 1);
}

void CFilterDlg::SetControls()
{
    m_edtText->setText(QString::fromLocal8Bit(m_strText.c_str()));
    m_chkMatchCase->setChecked(m_bMatchCase);
    m_chkRemove->setChecked(m_bRemove);
    m_chkInverted->setChecked(m_bInverted);
}

void CFilterDlg::showEvent(QShowEvent* pEvent)
{
    m_edtText->selectAll();
    m_edtText->setFocus();
    QDialog::showEvent(pEvent);
}

void CFilterDlg::accept()
{
    m_bMatchCase = m_chkMatchCase->isChecked();
    m_bRemove = m_chkRemove->isChecked();
    m_strText = m_edtText->text().toLocal8Bit().toStdString();
    m_bInverted = m_chkInverted->isChecked();
    QDialog::accept();
}
