#pragma once

#include <QWidget>

class CPreferences;
class IPrompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "Proxy": whether and which proxy, and its credentials.
class CPageProxy : public QWidget
{
    Q_OBJECT

public:
    explicit CPageProxy(QWidget* pParent = nullptr);

    void SetControls(const CPreferences& prefs);
    // False (with the standard message) when the port is not 0 ... 65335.
    bool GetControls(CPreferences& prefs, IPrompts& prompts);

    QCheckBox* UseProxyCheck() const { return m_chkUseProxy; }
    QRadioButton* RegistryRadio() const { return m_rdoRegistry; }
    QRadioButton* ManualRadio() const { return m_rdoManual; }
    QLineEdit* AddressEdit() const { return m_edtAddress; }
    QLineEdit* PortEdit() const { return m_edtPort; }
    QCheckBox* AuthenticationCheck() const { return m_chkAuthentication; }
    QLineEdit* UsernameEdit() const { return m_edtUsername; }
    QLineEdit* PasswordEdit() const { return m_edtPassword; }

    bool m_bModified = false;

private:
    void UpdateEnabling();
    void EnableAuthentication(bool bEnable);

    QCheckBox* m_chkUseProxy = nullptr;
    QRadioButton* m_rdoRegistry = nullptr;
    QRadioButton* m_rdoManual = nullptr;
    QLabel* m_stcAddress = nullptr;
    QLineEdit* m_edtAddress = nullptr;
    QLabel* m_stcPort = nullptr;
    QLineEdit* m_edtPort = nullptr;
    QCheckBox* m_chkAuthentication = nullptr;
    QLabel* m_stcUsername = nullptr;
    QLineEdit* m_edtUsername = nullptr;
    QLabel* m_stcPassword = nullptr;
    QLineEdit* m_edtPassword = nullptr;
};
