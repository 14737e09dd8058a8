#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;

// One kill-filter entry to add; the caller sets title, label and text.
class CKillEntryDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CKillEntryDlg(QWidget* pParent = nullptr);

    std::string m_strTitle = "Add subject to kill filter";
    std::string m_strLabel = "&Subject";
    std::string m_strEntry;

    QLabel* Label() const { return m_stcLabel; }
    QLineEdit* EntryEdit() const { return m_edtEntry; }

    // Members into the window title, the label and the edit.
    void SetControls();
    void accept() override;

private:
    QLabel* m_stcLabel = nullptr;
    QLineEdit* m_edtEntry = nullptr;
};
