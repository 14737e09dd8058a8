#pragma once

#include "settings/Preferences.h"
#include "settings/UsenetSettings.h"

#include <QDialog>

class CPageAccount;
class CPageDownload;
class CPageProxy;
class CPageQueue;
class CPageUsenet;
class IPrompts;
class QCheckBox;
class QPushButton;
class QTabWidget;

// "Preferences": the account, proxy, download and queue pages over copies of
// the accounts and settings, and the Usenet page over section [Usenet]. OK
// takes every page's values into m_prefs and m_usenet and closes only when
// all of them are valid.
class CPreferencesDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPreferencesDlg(IPrompts& prompts, QWidget* pParent = nullptr);

    // The copies into the pages (the accounts go to PageAccount().m_accounts
    // first).
    void SetControls();
    void accept() override;

    CPreferences m_prefs;
    CUsenetSettings m_usenet;

    QTabWidget* Tabs() const { return m_pTabs; }
    CPageAccount& PageAccount() const { return *m_pPageAccount; }
    CPageProxy& PageProxy() const { return *m_pPageProxy; }
    CPageDownload& PageDownload() const { return *m_pPageDownload; }
    CPageQueue& PageQueue() const { return *m_pPageQueue; }
    CPageUsenet& PageUsenet() const { return *m_pPageUsenet; }
    QPushButton* OkButton() const { return m_btnOk; }
    // Beside the buttons, outside the pages: "DesktopNotifications".
    QCheckBox* NotificationsCheck() const { return m_chkNotifications; }

private:
    IPrompts& m_prompts;
    QTabWidget* m_pTabs = nullptr;
    CPageAccount* m_pPageAccount = nullptr;
    CPageProxy* m_pPageProxy = nullptr;
    CPageDownload* m_pPageDownload = nullptr;
    CPageQueue* m_pPageQueue = nullptr;
    CPageUsenet* m_pPageUsenet = nullptr;
    QPushButton* m_btnOk = nullptr;
    QCheckBox* m_chkNotifications = nullptr;
};
