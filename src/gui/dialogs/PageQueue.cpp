#include "dialogs/PageQueue.h"

#include "settings/Preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QRadioButton>

CPageQueue::CPageQueue(QWidget* pParent) : QWidget(pParent)
{
    auto* pLayout = new QGridLayout(this);
    m_chkDoNotQueue = new QCheckBox(QStringLiteral("&Use a download manager"), this);
    pLayout->addWidget(m_chkDoNotQueue, 0, 0, 1, 2);
    m_grpManager = new QButtonGroup(this);
    const char* const names[] = {"Use &Clipboard", "&FlashGet", "&ReGet 1.7", "&NetAnts", "GetRight", "LeechGet"};
    for (int i = 0; i < 6; ++i)
    {
        auto* pRadio = new QRadioButton(QString::fromLatin1(names[i]), this);
        m_grpManager->addButton(pRadio, i);
        pLayout->addWidget(pRadio, 1 + i / 2, i % 2);
    }
    m_chkSaveQueue = new QCheckBox(QStringLiteral("&Save queue on exit"), this);
    m_chkLoadQueue = new QCheckBox(QStringLiteral("At startup &load queue from disk and start downloading"), this);
    m_chkLoadOriginal = new QCheckBox(QStringLiteral("Restore queue to its &original form"), this);
    pLayout->addWidget(m_chkSaveQueue, 4, 0, 1, 2);
    pLayout->addWidget(m_chkLoadQueue, 5, 0, 1, 2);
    pLayout->addWidget(m_chkLoadOriginal, 6, 0, 1, 2);
    pLayout->setRowStretch(7, 1);

    for (QCheckBox* pCheck : {m_chkDoNotQueue, m_chkLoadQueue})
        connect(pCheck, &QCheckBox::clicked, this,
                [this]
                {
                    UpdateEnabling();
                    m_bModified = true;
                });
    connect(m_chkSaveQueue, &QCheckBox::clicked, this, [this] { m_bModified = true; });
    // Clipboard, FlashGet, ReGet and NetAnts mark the page; GetRight and
    // LeechGet and "original form" only change their value.
    connect(m_grpManager, &QButtonGroup::idClicked, this,
            [this](int nId)
            {
                if (nId <= 3)
                    m_bModified = true;
            });
}

void CPageQueue::UpdateEnabling()
{
    for (QAbstractButton* pRadio : m_grpManager->buttons())
        pRadio->setEnabled(m_chkDoNotQueue->isChecked());
    m_chkLoadOriginal->setEnabled(m_chkLoadQueue->isChecked());
}

void CPageQueue::SetControls(const CPreferences& prefs)
{
    m_chkDoNotQueue->setChecked(prefs.m_bDoNotQueue != 0);
    if (QAbstractButton* pRadio = m_grpManager->button(prefs.m_nDownloadManager))
        pRadio->setChecked(true);
    m_chkSaveQueue->setChecked(prefs.m_bSaveQueue != 0);
    m_chkLoadQueue->setChecked(prefs.m_bLoadQueue != 0);
    m_chkLoadOriginal->setChecked(prefs.m_bLoadOriginalQueue != 0);
    UpdateEnabling();
}

void CPageQueue::GetControls(CPreferences& prefs) const
{
    prefs.m_bDoNotQueue = m_chkDoNotQueue->isChecked() ? 1 : 0;
    if (m_grpManager->checkedId() >= 0)
        prefs.m_nDownloadManager = m_grpManager->checkedId();
    prefs.m_bSaveQueue = m_chkSaveQueue->isChecked() ? 1 : 0;
    prefs.m_bLoadQueue = m_chkLoadQueue->isChecked() ? 1 : 0;
    prefs.m_bLoadOriginalQueue = m_chkLoadOriginal->isChecked() ? 1 : 0;
}
