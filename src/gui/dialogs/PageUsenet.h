#pragma once

#include "settings/UsenetSettings.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class CUpDownEdit;
class IPrompts;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace usenet
{
struct SProbeResult;
}

// "Usenet": the news server that the in-process gateway serves the NewsGuy
// account from (section [Usenet]), and "Test Server", which tries the values
// as they stand on the page on a thread of its own.
class CPageUsenet : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kNoServer = "You must enter a server!";
    static constexpr const char* kNoCAFile = "The CA file cannot be read!";

    explicit CPageUsenet(IPrompts& prompts, QWidget* pParent = nullptr);
    // A running test is cancelled and waited for: a fraction of a second,
    // or as long as a name look-up that is under way still takes.
    ~CPageUsenet() override;

    void SetControls(const CUsenetSettings& settings);
    // False, with one message and the focus on the control, when a value
    // cannot be saved.
    bool GetControls(CUsenetSettings& settings);

    void OnTestServer();
    void OnCancelTest();
    bool IsTesting() const { return m_pRun != nullptr; }
    void OnBrowseCAFile();
    // Picks a file starting at the given one; empty when cancelled. Tests
    // answer for the file dialog here.
    std::function<QString(const QString&)> m_fnChooseFile;

    // The one message that tells what a test found.
    static std::string DescribeProbe(const usenet::SProbeResult& probe, const CUsenetSettings& settings);

    QCheckBox* EnabledCheck() const { return m_chkEnabled; }
    QLineEdit* ServerEdit() const { return m_edtServer; }
    QLineEdit* PortEdit() const { return m_edtPort; }
    QCheckBox* TlsCheck() const { return m_chkTls; }
    QLineEdit* CAFileEdit() const { return m_edtCAFile; }
    QLineEdit* UsernameEdit() const { return m_edtUsername; }
    QLineEdit* PasswordEdit() const { return m_edtPassword; }
    CUpDownEdit* ConnectionsEdit() const { return m_edtConnections; }
    QPushButton* TestButton() const { return m_btnTest; }
    QPushButton* CancelTestButton() const { return m_btnCancelTest; }

    bool m_bModified = false;

signals:
    // A test ended (its message, if any, has been shown).
    void testFinished();

private:
    struct STestRun;
    void OnTestDone(const usenet::SProbeResult& probe, const CUsenetSettings& settings);
    void ShowTesting(bool bTesting);

    IPrompts& m_prompts;
    QCheckBox* m_chkEnabled = nullptr;
    QLineEdit* m_edtServer = nullptr;
    QLineEdit* m_edtPort = nullptr;
    QCheckBox* m_chkTls = nullptr;
    QLineEdit* m_edtCAFile = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QLineEdit* m_edtUsername = nullptr;
    QLineEdit* m_edtPassword = nullptr;
    CUpDownEdit* m_edtConnections = nullptr;
    QPushButton* m_btnTest = nullptr;
    QPushButton* m_btnCancelTest = nullptr;
    // The port follows the TLS switch until the user types one.
    bool m_bPortTyped = false;
    std::unique_ptr<STestRun> m_pRun;
};
