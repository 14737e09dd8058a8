#pragma once

#include "settings/ServiceAccount.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class CUpDownEdit;
class IPrompts;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// "Account": the service accounts (copies; the document takes them over on
// OK) and the controls that add, update and remove them.
class CPageAccount : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kNoService = "You must select a New Service Provider!";
    static constexpr const char* kNoUsername = "You must enter a username!";
    static constexpr const char* kNoPassword = "You must enter a password!";
    static constexpr const char* kTooManyDownloads =
        "The number of maximum simultaneous downloads\nis limited to 100";

    CPageAccount(IPrompts& prompts, QWidget* pParent = nullptr);

    // Rows from m_accounts (done once, before the sheet is shown).
    void SetControls();
    // The downloads edit on OK of the sheet.
    bool Validate();

    std::vector<AccountPtr> m_accounts;
    bool m_bModified = false;

    QTreeWidget* AccountList() const { return m_lstAccounts; }
    QComboBox* ServiceBox() const { return m_cmbService; }
    QComboBox* RetrieveByBox() const { return m_cmbRetrieveBy; }
    CUpDownEdit* DownloadsEdit() const { return m_edtDownloads; }
    QLineEdit* UsernameEdit() const { return m_edtUsername; }
    QLineEdit* PasswordEdit() const { return m_edtPassword; }
    QPushButton* RemoveButton() const { return m_btnRemove; }
    QPushButton* UpdateButton() const { return m_btnUpdate; }
    QPushButton* AddButton() const { return m_btnAdd; }
    QCheckBox* BinariesOnlyCheck() const { return m_chkShowOnlyBin; }
    QCheckBox* IgnoreLimitCheck() const { return m_chkIgnoreLimit; }

    void OnAdd() { AddOrUpdate(true); }
    void OnUpdate() { AddOrUpdate(false); }
    void OnRemove();

private:
    void OnSelectionChanged();
    void AddOrUpdate(bool bAdd);
    void FillRow(int nRow);
    void EnableServiceOptions(int32_t nService);
    int SelectedRow() const;

    IPrompts& m_prompts;
    QTreeWidget* m_lstAccounts = nullptr;
    QComboBox* m_cmbService = nullptr;
    QLabel* m_stcRetrieveBy = nullptr;
    QComboBox* m_cmbRetrieveBy = nullptr;
    CUpDownEdit* m_edtDownloads = nullptr;
    QLineEdit* m_edtUsername = nullptr;
    QLineEdit* m_edtPassword = nullptr;
    QPushButton* m_btnRemove = nullptr;
    QPushButton* m_btnUpdate = nullptr;
    QPushButton* m_btnAdd = nullptr;
    QCheckBox* m_chkShowOnlyBin = nullptr;
    QCheckBox* m_chkIgnoreLimit = nullptr;
};
