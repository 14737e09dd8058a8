#pragma once

#include "settings/FolderLock.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One program per data folder. The first start takes the folder's lock
// (CFolderLock) and listens on a local socket named after the folder; a
// second start finds the lock taken and hands its files (and the request to
// come to the front) over that socket instead of opening a second window on
// the same files.
class CSingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit CSingleInstance(const std::string& strDataFolder, QObject* pParent = nullptr);
    ~CSingleInstance() override;

    // Takes the folder's lock; false while another program holds it.
    bool Lock();
    // Hands absolute file paths to the program that holds the lock and waits
    // for it to take them; that program may still be starting, so the
    // connection is tried for up to nTimeoutMs. False when nobody took them.
    bool HandOff(const std::vector<std::string>& files, int nTimeoutMs = 10000) const;
    // Serves hand-offs from now on; fnOpen runs on this thread with each
    // one's files (possibly none: the window is only brought to the front).
    bool Listen(std::function<void(const std::vector<std::string>&)> fnOpen);

    // The socket name: per user and per data folder.
    static QString ServerName(const std::string& strDataFolder);

private:
    void OnConnection();

    std::string m_strFolder;
    CFolderLock m_lock;
    std::unique_ptr<QLocalServer> m_pServer;
    std::function<void(const std::vector<std::string>&)> m_fnOpen;
};
