#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;

// "Find": the text to look for in the subjects and whether case counts.
class CFindDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CFindDlg(QWidget* pParent = nullptr);

    // Values are exchanged with the controls when the dialog is shown and
    // when it is confirmed, as the dialog data of the original did.
    std::string m_strText;
    bool m_bMatchCase = false;

    QLineEdit* TextEdit() const { return m_edtText; }
    QCheckBox* MatchCaseCheck() const { return m_chkMatchCase; }

    void SetControls();
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QLineEdit* m_edtText = nullptr;
    QCheckBox* m_chkMatchCase = nullptr;
};
