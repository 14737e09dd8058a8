#include "system/DesktopNotifier.h"

#include "settings/ProfileFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

CDesktopNotifier::CDesktopNotifier(QString strBusAddress)
{
    SetBusAddress(strBusAddress);
}

CDesktopNotifier::~CDesktopNotifier()
{
    if (!m_strConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_strConnectionName);
}

void CDesktopNotifier::SetBusAddress(const QString& strBusAddress)
{
    if (!m_strConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_strConnectionName);
    m_strBusAddress = strBusAddress;
    m_strConnectionName.clear();
    if (!m_strBusAddress.isEmpty())
        m_strConnectionName = QStringLiteral("dravelin-notify-%1").arg(reinterpret_cast<quintptr>(this));
}

bool CDesktopNotifier::ReadEnabled(const std::string& strIniPath)
{
    return CProfileFile::GetProfileInt(kSection, kKey, 1, strIniPath) != 0;
}

void CDesktopNotifier::WriteEnabled(const std::string& strIniPath, bool bEnabled)
{
    CProfileFile::WriteProfileInt(kSection, kKey, bEnabled ? 1 : 0, strIniPath);
}

QDBusConnection CDesktopNotifier::Bus() const
{
    // The session bus is only looked for once there is something to tell.
    if (m_strConnectionName.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(m_strBusAddress, m_strConnectionName);
}

bool CDesktopNotifier::Notify(const QString& strSummary, const QString& strBody, bool bCritical)
{
    if (!m_bEnabled)
        return false;
    QDBusConnection bus = Bus();
    if (!bus.isConnected())
        return false;
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.dravelin.Dravelin"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(bCritical ? 2 : 1));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    msg << QStringLiteral("Dravelin") << uint(0) << QStringLiteral("dravelin") << strSummary << strBody
        << QStringList() << hints << int(-1);
    return bus.send(msg);
}

QString CDesktopNotifier::QueueDoneBody(int nFiles, int64_t nBytes)
{
    return QStringLiteral("Downloaded %1 %2, %3 bytes.")
        .arg(nFiles)
        .arg(nFiles == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(static_cast<qlonglong>(nBytes));
}

void CDesktopNotifier::QueueDone(int nFiles, int64_t nBytes)
{
    Notify(QStringLiteral("Downloads finished"), QueueDoneBody(nFiles, nBytes));
}

void CDesktopNotifier::DownloadFailed(const std::string& strSubject, const std::string& strReason)
{
    // Servers may read the body as markup.
    QString strBody = QString::fromLocal8Bit(strSubject).toHtmlEscaped();
    if (!strReason.empty())
        strBody += QLatin1Char('\n') + QString::fromLocal8Bit(strReason).toHtmlEscaped();
    Notify(QStringLiteral("Download failed"), strBody);
}

void CDesktopNotifier::DiskFull()
{
    Notify(QStringLiteral("Disk full"),
           QStringLiteral("There is not enough space on the disk for the downloads."), true);
}
