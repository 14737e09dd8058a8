#include "dialogs/FindDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CFindDlg::CFindDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Find"));
    auto* pLayout = new QGridLayout(this);
    auto* pLabel = new QLabel(QStringLiteral("&Find:"), this);
    m_edtText = new QLineEdit(this);
    m_edtText->setObjectName(QStringLiteral("FindText"));
    pLabel->setBuddy(m_edtText);
    m_chkMatchCase = new QCheckBox(QStringLiteral("&Match case"), this);
    m_chkMatchCase->setObjectName(QStringLiteral("MatchCase"));
    auto* pButtons = new QDialogButtonBox(this);
    pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pLabel, 0, 0);
    pLayout->addWidget(m_edtText, 0, 1);
    pLayout->addWidget(m_chkMatchCase, 1, 1);
    pLayout->addWidget(pButtons, 0, 2, 2, 1);
}

void CFindDlg::SetControls()
{
    m_edtText->setText(QString::fromLocal8Bit(m_strText.c_str()));
    m_chkMatchCase->setChecked(m_bMatchCase);
}

void CFindDlg::showEvent(QShowEvent* pEvent)
{
    m_edtText->selectAll();
    m_edtText->setFocus();
    QDialog::showEvent(pEvent);
}

void CFindDlg::accept()
{
    m_strText = m_edtText->text().toLocal8Bit().toStdString();
    m_bMatchCase = m_chkMatchCase->isChecked();
    QDialog::accept();
}
