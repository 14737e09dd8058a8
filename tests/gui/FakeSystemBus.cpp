#include "FakeSystemBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace guitest
{
namespace
{
using SettingsMap = QMap<QString, QVariantMap>;

const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
} // namespace

// Answers the calls on its own thread, so a blocking call from the test's
// thread gets its reply.
class CFakeSystemBus::CService : public QDBusVirtualObject
{
public:
    explicit CService(CFakeSystemBus& bus) : m_bus(bus) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& connection) override
    {
        connection.send(Answer(msg));
        return true;
    }

private:
    QDBusMessage Answer(const QDBusMessage& msg)
    {
        std::lock_guard lock(m_bus.m_lock);
        const QString strPath = msg.path();
        const QList<QVariant> args = msg.arguments();
        if (msg.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            msg.member() == QLatin1String("Get") && args.size() == 2)
            return GetProperty(msg, strPath, args[0].toString(), args[1].toString());
        if (strPath == kNetworkManagerPath && msg.member() == QLatin1String("DeactivateConnection") &&
            args.size() == 1)
        {
            const QString strActive = args[0].value<QDBusObjectPath>().path();
            m_bus.m_deactivated.push_back(strActive);
            for (auto& [strKey, active] : m_bus.m_active)
                if (strKey == strActive)
                {
                    active.nState = 3;
                    active.bDropping = true;
                }
            return msg.createReply();
        }
        if (msg.member() == QLatin1String("GetSettings"))
        {
            auto it = m_bus.m_bluetoothTypes.find(strPath);
            if (it == m_bus.m_bluetoothTypes.end())
                return UnknownObject(msg);
            SettingsMap settings;
            settings[QStringLiteral("connection")][QStringLiteral("type")] = QStringLiteral("bluetooth");
            settings[QStringLiteral("bluetooth")][QStringLiteral("type")] = it->second;
            return msg.createReply(QVariant::fromValue(settings));
        }
        if (strPath == QLatin1String("/org/freedesktop/login1") &&
            msg.member() == QLatin1String("PowerOff") && args.size() == 1)
        {
            m_bus.m_powerOffs.push_back(args[0].toBool());
            if (m_bus.m_bPowerOffRefused)
                return msg.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                            QStringLiteral("refused"));
            return msg.createReply();
        }
        if (strPath == QLatin1String("/org/freedesktop/Notifications") &&
            msg.member() == QLatin1String("Notify") && args.size() == 8)
        {
            m_bus.m_notifications.emplace_back(args[3].toString(), args[4].toString());
            return msg.createReply(QVariant::fromValue(uint(m_bus.m_notifications.size())));
        }
        return UnknownObject(msg);
    }

    QDBusMessage GetProperty(const QDBusMessage& msg, const QString& strPath, const QString& strInterface,
                             const QString& strName)
    {
        if (strPath == kNetworkManagerPath && strInterface == kNetworkManager &&
            strName == QLatin1String("ActiveConnections"))
        {
            QList<QDBusObjectPath> paths;
            for (const auto& entry : m_bus.m_active)
                paths << QDBusObjectPath(entry.first);
            return msg.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(paths))));
        }
        if (strInterface != kActiveInterface)
            return UnknownObject(msg);
        for (auto it = m_bus.m_active.begin(); it != m_bus.m_active.end(); ++it)
        {
            if (it->first != strPath)
                continue;
            CActive& active = it->second;
            QVariant value;
            if (strName == QLatin1String("Type"))
                value = active.strType;
            else if (strName == QLatin1String("State"))
            {
                value = active.nState;
                if (active.bDropping)
                {
                    // Seen dropping once; gone afterwards.
                    const QDBusMessage reply = msg.createReply(QVariant::fromValue(QDBusVariant(value)));
                    m_bus.m_active.erase(it);
                    return reply;
                }
            }
            else if (strName == QLatin1String("Connection"))
                value = QVariant::fromValue(QDBusObjectPath(active.strSettingsPath));
            else
                return UnknownObject(msg);
            return msg.createReply(QVariant::fromValue(QDBusVariant(value)));
        }
        return UnknownObject(msg);
    }

    static QDBusMessage UnknownObject(const QDBusMessage& msg)
    {
        return msg.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"), msg.path());
    }

    CFakeSystemBus& m_bus;
};

CFakeSystemBus::CFakeSystemBus()
{
    qDBusRegisterMetaType<SettingsMap>();
}

CFakeSystemBus::~CFakeSystemBus()
{
    if (!m_strConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_strConnectionName);
    m_thread.quit();
    m_thread.wait();
    m_pService.reset();
    if (m_daemon.state() != QProcess::NotRunning)
    {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool CFakeSystemBus::Start(const QString& strFolder)
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                    QStringLiteral("--print-address=1"),
                    QStringLiteral("--address=unix:path=%1/bus").arg(strFolder)});
    if (!m_daemon.waitForStarted(10000))
        return false;
    while (!m_daemon.canReadLine())
        if (!m_daemon.waitForReadyRead(10000))
            return false;
    m_strAddress = QString::fromLatin1(m_daemon.readLine()).trimmed();
    if (m_strAddress.isEmpty())
        return false;
    m_strConnectionName = QStringLiteral("fake-system-bus");
    QDBusConnection bus = QDBusConnection::connectToBus(m_strAddress, m_strConnectionName);
    if (!bus.isConnected())
        return false;
    m_pService = std::make_unique<CService>(*this);
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop"), m_pService.get(),
                                   QDBusConnection::SubPath))
        return false;
    m_thread.start();
    m_pService->moveToThread(&m_thread);
    return true;
}

bool CFakeSystemBus::ClaimNames()
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_strAddress, m_strConnectionName);
    return bus.registerService(kNetworkManager) &&
           bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

bool CFakeSystemBus::ClaimNotifications()
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_strAddress, m_strConnectionName);
    return bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

std::vector<std::pair<QString, QString>> CFakeSystemBus::Notifications() const
{
    std::lock_guard lock(m_lock);
    return m_notifications;
}

void CFakeSystemBus::AddActive(const QString& strPath, const CActive& active)
{
    std::lock_guard lock(m_lock);
    m_active.emplace_back(strPath, active);
}

void CFakeSystemBus::SetBluetoothType(const QString& strSettingsPath, const QString& strType)
{
    std::lock_guard lock(m_lock);
    m_bluetoothTypes[strSettingsPath] = strType;
}

void CFakeSystemBus::SetPowerOffRefused(bool bRefused)
{
    std::lock_guard lock(m_lock);
    m_bPowerOffRefused = bRefused;
}

std::vector<QString> CFakeSystemBus::Deactivated() const
{
    std::lock_guard lock(m_lock);
    return m_deactivated;
}

std::vector<bool> CFakeSystemBus::PowerOffs() const
{
    std::lock_guard lock(m_lock);
    return m_powerOffs;
}

} // namespace guitest
