#include "dialogs/PageDownload.h"

#include "dialogs/UpDownEdit.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CPageDownload::CPageDownload(QWidget* pParent) : QWidget(pParent)
{
    auto* pLayout = new QGridLayout(this);
    m_edtPath = new QLineEdit(this);
    m_edtPath->setObjectName(QStringLiteral("DefaultPath"));
    m_btnBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_edtRetries = new CUpDownEdit(0, 100, this);
    m_edtRetries->setObjectName(QStringLiteral("Retries"));
    m_chkInfinite = new QCheckBox(QStringLiteral("&Infinite"), this);
    m_edtDownloads = new CUpDownEdit(0, 100, this);
    m_edtDownloads->setObjectName(QStringLiteral("MaxDownloads"));
    m_chkKeepFailed = new QCheckBox(QStringLiteral("Keep &failed downloads"), this);
    m_chkResumeFailed = new QCheckBox(QStringLiteral("Attempt to resume &downloads"), this);
    m_chkDeleteTempInet =
        new QCheckBox(QStringLiteral("Delete &temporary internet files when running out of diskspace"), this);
    m_chkEmptyRecycleBin = new QCheckBox(QStringLiteral("&Empty Recycle Bin when runnnig out of diskspace"), this);
    m_chkUpdateArticleStatus = new QCheckBox(QStringLiteral("&Update article status when downloading"), this);
    m_chkReplaceUnderscore = new QCheckBox(QStringLiteral("Replace underscores in filename with a space"), this);

    auto* pPathLabel = new QLabel(QStringLiteral("Default &path:"), this);
    pPathLabel->setBuddy(m_edtPath);
    auto* pRetriesLabel = new QLabel(QStringLiteral("&Retries on failure:"), this);
    pRetriesLabel->setBuddy(m_edtRetries);
    auto* pDownloadsLabel = new QLabel(QStringLiteral("&Max.. simultaneous downloads:"), this);
    pDownloadsLabel->setBuddy(m_edtDownloads);
    pLayout->addWidget(pPathLabel, 0, 0);
    pLayout->addWidget(m_edtPath, 0, 1, 1, 2);
    pLayout->addWidget(m_btnBrowse, 0, 3);
    pLayout->addWidget(pRetriesLabel, 1, 0);
    pLayout->addWidget(m_edtRetries, 1, 1);
    pLayout->addWidget(m_chkInfinite, 1, 2);
    pLayout->addWidget(pDownloadsLabel, 2, 0);
    pLayout->addWidget(m_edtDownloads, 2, 1);
    int nRow = 3;
    for (QCheckBox* pCheck : {m_chkKeepFailed, m_chkResumeFailed, m_chkDeleteTempInet, m_chkEmptyRecycleBin,
                              m_chkUpdateArticleStatus, m_chkReplaceUnderscore})
    {
        pLayout->addWidget(pCheck, nRow++, 0, 1, 4);
        connect(pCheck, &QCheckBox::clicked, this, [this] { m_bModified = true; });
    }
    pLayout->setRowStretch(nRow, 1);

    connect(m_chkInfinite, &QCheckBox::clicked, this,
            [this](bool bChecked)
            {
                m_edtRetries->setEnabled(!bChecked);
                m_bModified = true;
            });
    connect(m_btnBrowse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_edtPath, &QLineEdit::textEdited, this, [this] { m_bModified = true; });
    for (CUpDownEdit* pEdit : {m_edtRetries, m_edtDownloads})
        connect(pEdit, &QAbstractSpinBox::editingFinished, this, [this] { m_bModified = true; });
}

void CPageDownload::OnBrowse()
{
    QString strPath = m_edtPath->text();
    if (strPath.endsWith(QLatin1Char('/')) && strPath.size() > 1)
        strPath.chop(1);
    const QString strChosen =
        m_fnChooseFolder ? m_fnChooseFolder(strPath)
                         : QFileDialog::getExistingDirectory(this, QString(), strPath, QFileDialog::ShowDirsOnly);
    if (strChosen.isEmpty())
        return;
    m_edtPath->setText(strChosen.endsWith(QLatin1Char('/')) ? strChosen : strChosen + QLatin1Char('/'));
    m_bModified = true;
}

void CPageDownload::SetControls(const CPreferences& prefs)
{
    m_edtPath->setText(QString::fromLocal8Bit(prefs.m_strDefaultPath.c_str()));
    m_edtRetries->SetValue(prefs.m_nMaxRetries);
    m_chkInfinite->setChecked(prefs.m_bRetryInfinite != 0);
    m_edtRetries->setEnabled(prefs.m_bRetryInfinite == 0);
    m_edtDownloads->SetValue(prefs.m_nMaxDownloads);
    m_chkKeepFailed->setChecked(prefs.m_bKeepFailed != 0);
    m_chkResumeFailed->setChecked(prefs.m_bResumeFailed != 0);
    m_chkDeleteTempInet->setChecked(prefs.m_bDeleteTempInet != 0);
    m_chkEmptyRecycleBin->setChecked(prefs.m_bEmptyRecycleBin != 0);
    m_chkEmptyRecycleBin->setEnabled(prefs.m_bCanEmptyRecycleBin != 0);
    m_chkUpdateArticleStatus->setChecked(prefs.m_bUpdateArticleStatus != 0);
    m_chkReplaceUnderscore->setChecked(prefs.m_bReplaceUnderscore != 0);
}

bool CPageDownload::GetControls(CPreferences& prefs, IPrompts& prompts)
{
    int32_t nRetries = 0;
    int32_t nDownloads = 0;
    if (!CUpDownEdit::CheckInt(m_edtRetries, m_edtRetries->text(), 0, 100, prompts, nRetries) ||
        !CUpDownEdit::CheckInt(m_edtDownloads, m_edtDownloads->text(), 0, 100, prompts, nDownloads))
        return false;
    prefs.m_strDefaultPath = m_edtPath->text().toLocal8Bit().toStdString();
    prefs.m_nMaxRetries = nRetries;
    prefs.m_bRetryInfinite = m_chkInfinite->isChecked() ? 1 : 0;
    prefs.m_nMaxDownloads = nDownloads;
    prefs.m_bKeepFailed = m_chkKeepFailed->isChecked() ? 1 : 0;
    prefs.m_bResumeFailed = m_chkResumeFailed->isChecked() ? 1 : 0;
    prefs.m_bDeleteTempInet = m_chkDeleteTempInet->isChecked() ? 1 : 0;
    prefs.m_bEmptyRecycleBin = m_chkEmptyRecycleBin->isChecked() ? 1 : 0;
    prefs.m_bUpdateArticleStatus = m_chkUpdateArticleStatus->isChecked() ? 1 : 0;
    prefs.m_bReplaceUnderscore = m_chkReplaceUnderscore->isChecked() ? 1 : 0;
    return true;
}
