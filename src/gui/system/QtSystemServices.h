#pragma once

#include "tools/PosixSystemServices.h"

#include <QString>
#include <QVariant>

class QDBusConnection;
class QDBusMessage;

// The system services of a desktop session: the clipboard (QClipboard, plain
// text), programs started detached through QProcess, files opened with the
// desktop's default application, dial-up connections through NetworkManager
// and the power-off through systemd-logind, both on the system bus. Every bus
// call has a short time-out, so a missing or stuck bus never hangs the window.
class CQtSystemServices : public CPosixSystemServices
{
public:
    // A single bus call waits at most this long.
    static constexpr int kBusTimeoutMs = 1500;
    // The power-off request may pass a policy check first.
    static constexpr int kPowerOffTimeoutMs = 5000;

    // strBusAddress: the bus that stands for the system bus ("" for the real
    // system bus), so the dial-up and power-off code can be run against a
    // private bus.
    explicit CQtSystemServices(std::string strMountTable = "/proc/self/mounts", QString strBusAddress = {});
    ~CQtSystemServices() override;

    bool SetClipboardText(const std::string& strText) override;
    bool StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkingFolder) override;
    bool OpenFile(const std::string& strPath) override;

    // NetworkManager owns its name on the system bus.
    bool HaveDialUp() override;
    // The active connections of type pppoe, gsm, cdma or bluetooth dial-up
    // (DUN); their ids are the active connections' object paths.
    bool EnumDialUpConnections(std::vector<std::string>& connections) override;
    // True while the active-connection object exists and is activating,
    // activated or deactivating; once NetworkManager has dropped it (or marks
    // it deactivated, or cannot be asked) the line counts as ended.
    bool IsDialUpConnectionActive(const std::string& strConnection) override;
    void HangUpDialUpConnection(const std::string& strConnection) override;

    // org.freedesktop.login1.Manager.PowerOff without an interactive
    // authorisation; false when the call fails or times out.
    bool PowerOff() override;

    // Whether a connection type (with its bluetooth sub-type, "" if none) is
    // a dial-up line.
    static bool IsDialUpType(const QString& strType, const QString& strBluetoothType);

private:
    QDBusConnection Bus() const;
    QDBusMessage Call(const QDBusMessage& msg, int nTimeoutMs = kBusTimeoutMs) const;
    // A property through org.freedesktop.DBus.Properties.Get; invalid when it
    // could not be read.
    QVariant GetProperty(const QString& strService, const QString& strPath, const QString& strInterface,
                         const QString& strName) const;
    // The "type" of a bluetooth connection's settings ("dun", "panu"), or "".
    QString BluetoothType(const QString& strSettingsPath) const;

    QString m_strBusAddress;
    QString m_strConnectionName;
};
