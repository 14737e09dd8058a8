#include "system/QtSystemServices.h"

#include <QClipboard>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace
{
const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginManager = QStringLiteral("org.freedesktop.login1.Manager");

// NM_ACTIVE_CONNECTION_STATE_ACTIVATING .. _DEACTIVATING: the line is still up
// (or still coming up, or still being dropped).
constexpr uint kStateActivating = 1;
constexpr uint kStateDeactivating = 3;

// A text that survives the trip through the locale's encoding; others go to
// the byte-exact POSIX start.
bool RoundTrips(const std::string& str)
{
    return QString::fromLocal8Bit(str).toLocal8Bit() == QByteArray::fromStdString(str);
}
} // namespace

CQtSystemServices::CQtSystemServices(std::string strMountTable, QString strBusAddress)
    : CPosixSystemServices(std::move(strMountTable)), m_strBusAddress(std::move(strBusAddress))
{
    if (!m_strBusAddress.isEmpty())
        m_strConnectionName = QStringLiteral("dravelin-system-%1").arg(reinterpret_cast<quintptr>(this));
}

CQtSystemServices::~CQtSystemServices()
{
    if (!m_strConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_strConnectionName);
}

// --- clipboard and programs ---------------------------------------------------------

bool CQtSystemServices::SetClipboardText(const std::string& strText)
{
    // Only a GUI application has a clipboard.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QClipboard* pClipboard = QGuiApplication::clipboard();
    if (!pClipboard)
        return false;
    pClipboard->setText(QString::fromLocal8Bit(strText), QClipboard::Clipboard);
    return true;
}

bool CQtSystemServices::StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                                     const std::string& strWorkingFolder)
{
    if (strProgram.empty())
        return false;
    bool bRoundTrips = RoundTrips(strProgram) && RoundTrips(strWorkingFolder);
    QStringList arguments;
    for (const std::string& strArg : args)
    {
        bRoundTrips = bRoundTrips && RoundTrips(strArg);
        arguments << QString::fromLocal8Bit(strArg);
    }
    // A name the locale cannot spell would reach the program changed.
    if (!bRoundTrips)
        return CPosixSystemServices::StartProgram(strProgram, args, strWorkingFolder);
    return QProcess::startDetached(QString::fromLocal8Bit(strProgram), arguments,
                                   QString::fromLocal8Bit(strWorkingFolder));
}

bool CQtSystemServices::OpenFile(const std::string& strPath)
{
    if (strPath.empty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(strPath)));
}

// --- the system bus -------------------------------------------------------------------

QDBusConnection CQtSystemServices::Bus() const
{
    if (m_strConnectionName.isEmpty())
        return QDBusConnection::systemBus();
    return QDBusConnection::connectToBus(m_strBusAddress, m_strConnectionName);
}

QDBusMessage CQtSystemServices::Call(const QDBusMessage& msg, int nTimeoutMs) const
{
    QDBusConnection bus = Bus();
    if (!bus.isConnected())
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
                                         QStringLiteral("no system bus"));
    return bus.call(msg, QDBus::Block, nTimeoutMs);
}

QVariant CQtSystemServices::GetProperty(const QString& strService, const QString& strPath,
                                        const QString& strInterface, const QString& strName) const
{
    QDBusMessage msg = QDBusMessage::createMethodCall(
        strService, strPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    msg << strInterface << strName;
    const QDBusMessage reply = Call(msg);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
}

bool CQtSystemServices::HaveDialUp()
{
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    msg << kNetworkManager;
    const QDBusMessage reply = Call(msg);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().at(0).toBool();
}

bool CQtSystemServices::IsDialUpType(const QString& strType, const QString& strBluetoothType)
{
    if (strType == QLatin1String("pppoe") || strType == QLatin1String("gsm") ||
        strType == QLatin1String("cdma"))
        return true;
    // A bluetooth connection is a dial-up line only as a modem (DUN), not as
    // a personal network (PANU).
    return strType == QLatin1String("bluetooth") && strBluetoothType == QLatin1String("dun");
}

QString CQtSystemServices::BluetoothType(const QString& strSettingsPath) const
{
    const QDBusMessage msg = QDBusMessage::createMethodCall(
        kNetworkManager, strSettingsPath, kSettingsInterface, QStringLiteral("GetSettings"));
    const QDBusMessage reply = Call(msg);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{sa{sv}}"))
        return {};
    QString strType;
    arg.beginMap();
    while (!arg.atEnd())
    {
        QString strSetting;
        QVariantMap values;
        arg.beginMapEntry();
        arg >> strSetting >> values;
        arg.endMapEntry();
        if (strSetting == QLatin1String("bluetooth"))
            strType = values.value(QStringLiteral("type")).toString();
    }
    arg.endMap();
    return strType;
}

bool CQtSystemServices::EnumDialUpConnections(std::vector<std::string>& connections)
{
    connections.clear();
    const QVariant active = GetProperty(kNetworkManager, kNetworkManagerPath, kNetworkManager,
                                        QStringLiteral("ActiveConnections"));
    if (!active.isValid())
        return false;
    QList<QDBusObjectPath> paths;
    if (active.canConvert<QDBusArgument>())
    {
        const QDBusArgument arg = active.value<QDBusArgument>();
        if (arg.currentSignature() != QLatin1String("ao"))
            return false;
        arg >> paths;
    }
    else
    {
        paths = active.value<QList<QDBusObjectPath>>();
    }
    for (const QDBusObjectPath& path : paths)
    {
        const QString strPath = path.path();
        const QString strType =
            GetProperty(kNetworkManager, strPath, kActiveInterface, QStringLiteral("Type")).toString();
        QString strBluetoothType;
        if (strType == QLatin1String("bluetooth"))
        {
            const QVariant settings =
                GetProperty(kNetworkManager, strPath, kActiveInterface, QStringLiteral("Connection"));
            strBluetoothType = BluetoothType(settings.value<QDBusObjectPath>().path());
        }
        if (IsDialUpType(strType, strBluetoothType))
            connections.push_back(strPath.toStdString());
    }
    return true;
}

bool CQtSystemServices::IsDialUpConnectionActive(const std::string& strConnection)
{
    if (strConnection.empty() || strConnection[0] != '/')
        return false;
    const QVariant state = GetProperty(kNetworkManager, QString::fromStdString(strConnection),
                                       kActiveInterface, QStringLiteral("State"));
    if (!state.isValid())
        return false; // gone: NetworkManager drops the object once the line is down
    bool bOk = false;
    const uint nState = state.toUInt(&bOk);
    return bOk && nState >= kStateActivating && nState <= kStateDeactivating;
}

void CQtSystemServices::HangUpDialUpConnection(const std::string& strConnection)
{
    if (strConnection.empty() || strConnection[0] != '/')
        return;
    QDBusMessage msg = QDBusMessage::createMethodCall(kNetworkManager, kNetworkManagerPath, kNetworkManager,
                                                      QStringLiteral("DeactivateConnection"));
    msg << QVariant::fromValue(QDBusObjectPath(QString::fromStdString(strConnection)));
    // The outcome shows in the connection's state, which the caller polls.
    Call(msg);
}

bool CQtSystemServices::PowerOff()
{
    QDBusMessage msg =
        QDBusMessage::createMethodCall(kLogin, kLoginPath, kLoginManager, QStringLiteral("PowerOff"));
    msg << false; // not interactive: no authentication dialog
    const QDBusMessage reply = Call(msg, kPowerOffTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}
