#pragma once

// A private message bus (its own dbus-daemon) with stand-ins for
// NetworkManager, the login manager and the desktop's notification service,
// so the dial-up, power-off and notification code runs over real D-Bus
// messages without touching the machine's own services.

#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QThread>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace guitest
{

class CFakeSystemBus
{
public:
    struct CActive
    {
        QString strType;
        uint nState = 2;
        QString strSettingsPath;
        // Set by DeactivateConnection: the next state query still sees the
        // line dropping, the one after it finds the object gone.
        bool bDropping = false;
    };

    CFakeSystemBus();
    ~CFakeSystemBus();

    // Starts the bus daemon; false when it cannot be run.
    bool Start(const QString& strFolder);
    QString Address() const { return m_strAddress; }
    // Takes the two well-known names (the services answer from then on).
    bool ClaimNames();
    // Takes org.freedesktop.Notifications.
    bool ClaimNotifications();

    // The state, shared with the service thread.
    void AddActive(const QString& strPath, const CActive& active);
    void SetBluetoothType(const QString& strSettingsPath, const QString& strType);
    void SetPowerOffRefused(bool bRefused);
    std::vector<QString> Deactivated() const;
    // The "interactive" argument of each PowerOff call.
    std::vector<bool> PowerOffs() const;
    // Summary and body of each notification received.
    std::vector<std::pair<QString, QString>> Notifications() const;

private:
    class CService;
    friend class CService;

    QProcess m_daemon;
    QString m_strAddress;
    QString m_strConnectionName;
    QThread m_thread;
    std::unique_ptr<CService> m_pService;

    mutable std::mutex m_lock;
    std::vector<std::pair<QString, CActive>> m_active; // in activation order
    std::map<QString, QString> m_bluetoothTypes;
    std::vector<QString> m_deactivated;
    std::vector<bool> m_powerOffs;
    bool m_bPowerOffRefused = false;
    std::vector<std::pair<QString, QString>> m_notifications;
};

} // namespace guitest
