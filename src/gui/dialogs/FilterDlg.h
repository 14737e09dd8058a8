#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;

// "Filter": select, deselect or remove the rows whose subject holds a text.
class CFilterDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CFilterDlg(QWidget* pParent = nullptr);

    bool m_bMatchCase = false;
    bool m_bRemove = false;
    std::string m_strText;
    bool m_bInverted = false;

    QLineEdit* TextEdit() const { return m_edtText; }
    QCheckBox* MatchCaseCheck() const { return m_chkMatchCase; }
    QCheckBox* RemoveCheck() const { return m_chkRemove; }
    QCheckBox* InvertedCheck() const { return m_chkInverted; }

    // Members into the controls; the caller does this before running it.
    void SetControls();
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QLineEdit* m_edtText = nullptr;
    QCheckBox* m_chkMatchCase = nullptr;
    QCheckBox* m_chkRemove = nullptr;
    QCheckBox* m_chkInverted = nullptr;
};
