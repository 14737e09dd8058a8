#pragma once

#include <QDialog>

#include <string>

class IPrompts;
class QLineEdit;
class QPushButton;

// "Download to": the folder for the articles being queued, typed or picked;
// a missing folder is created (one level) after a question. The folder it
// returns after OK always ends with '/'.
class CDownloadToDlg : public QDialog
{
    Q_OBJECT

public:
    CDownloadToDlg(IPrompts& prompts, QWidget* pParent = nullptr);

    // The folder shown when the dialog opens; after OK, the chosen one.
    std::string m_strFolder;

    // Puts m_strFolder into the edit box (done by exec()).
    void UpdateData();
    QLineEdit* PathEdit() const { return m_edtPath; }
    QPushButton* BrowseButton() const { return m_btnBrowse; }
    // The folder "&Browse..." opens the picker on: the edit's text without its
    // trailing separator.
    QString BrowseStartFolder() const;
    // "OK": true when the dialog may close (the folder exists or was made).
    bool OnOK();

    int exec() override;

private:
    void OnBrowse();

    IPrompts& m_prompts;
    QLineEdit* m_edtPath = nullptr;
    QPushButton* m_btnBrowse = nullptr;
};
