#pragma once

#include <QWidget>

#include <functional>

class CPreferences;
class CUpDownEdit;
class IPrompts;
class QCheckBox;
class QLineEdit;
class QPushButton;

// "Download": the download folder, retries, the overall limit and what to do
// with failed downloads and a full disk.
class CPageDownload : public QWidget
{
    Q_OBJECT

public:
    explicit CPageDownload(QWidget* pParent = nullptr);

    void SetControls(const CPreferences& prefs);
    // False (with the standard message) when retries or downloads are not
    // 0 ... 100.
    bool GetControls(CPreferences& prefs, IPrompts& prompts);

    void OnBrowse();
    // Picks a folder starting at the given one; empty when cancelled. Tests
    // answer for the folder dialog here.
    std::function<QString(const QString&)> m_fnChooseFolder;

    QLineEdit* PathEdit() const { return m_edtPath; }
    QPushButton* BrowseButton() const { return m_btnBrowse; }
    CUpDownEdit* RetriesEdit() const { return m_edtRetries; }
    QCheckBox* InfiniteCheck() const { return m_chkInfinite; }
    CUpDownEdit* DownloadsEdit() const { return m_edtDownloads; }
    QCheckBox* EmptyRecycleBinCheck() const { return m_chkEmptyRecycleBin; }

    bool m_bModified = false;

private:
    QLineEdit* m_edtPath = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    CUpDownEdit* m_edtRetries = nullptr;
    QCheckBox* m_chkInfinite = nullptr;
    CUpDownEdit* m_edtDownloads = nullptr;
    QCheckBox* m_chkKeepFailed = nullptr;
    QCheckBox* m_chkResumeFailed = nullptr;
    QCheckBox* m_chkDeleteTempInet = nullptr;
    QCheckBox* m_chkEmptyRecycleBin = nullptr;
    QCheckBox* m_chkUpdateArticleStatus = nullptr;
    QCheckBox* m_chkReplaceUnderscore = nullptr;
};
