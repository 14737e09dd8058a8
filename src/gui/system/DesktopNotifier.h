#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QDBusConnection;

// Desktop notifications through the freedesktop Notifications service
// (org.freedesktop.Notifications) on the session bus. A notification is sent
// without waiting for an answer, so a missing bus or service costs nothing
// and shows nothing. Switched by "DesktopNotifications" in section
// "Preferences" (1 = on, the default).
class CDesktopNotifier
{
public:
    static constexpr const char* kSection = "Preferences";
    static constexpr const char* kKey = "DesktopNotifications";

    // strBusAddress: the bus that stands for the session bus ("" for the
    // session's own), so tests can use a private bus.
    explicit CDesktopNotifier(QString strBusAddress = {});
    ~CDesktopNotifier();
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    void SetBusAddress(const QString& strBusAddress);
    void SetEnabled(bool bEnabled) { m_bEnabled = bEnabled; }
    bool IsEnabled() const { return m_bEnabled; }
    static bool ReadEnabled(const std::string& strIniPath);
    static void WriteEnabled(const std::string& strIniPath, bool bEnabled);

    // The three events worth telling a user who is not looking.
    void QueueDone(int nFiles, int64_t nBytes);
    void DownloadFailed(const std::string& strSubject, const std::string& strReason);
    void DiskFull();

    // The texts, also for the tests.
    static QString QueueDoneBody(int nFiles, int64_t nBytes);

    // Sends one notification; false when it could not be sent (off, no bus).
    bool Notify(const QString& strSummary, const QString& strBody, bool bCritical = false);

private:
    QDBusConnection Bus() const;

    QString m_strBusAddress;
    QString m_strConnectionName;
    bool m_bEnabled = true;
};
