#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace
{
// The request: a tag, then the paths as 8-bit file names.
constexpr quint32 kRequestTag = 0x44525631; // "DRV1"
constexpr char kTaken = '1';

QString FolderKey(const std::string& strFolder)
{
    const QString strPath = QString::fromLocal8Bit(strFolder);
    const QString strCanonical = QFileInfo(strPath).canonicalFilePath();
    return strCanonical.isEmpty() ? QDir::cleanPath(QDir(strPath).absolutePath()) : strCanonical;
}
} // namespace

CSingleInstance::CSingleInstance(const std::string& strDataFolder, QObject* pParent)
    : QObject(pParent), m_strFolder(strDataFolder)
{
}

CSingleInstance::~CSingleInstance()
{
    if (m_pServer)
        m_pServer->close();
}

QString CSingleInstance::ServerName(const std::string& strDataFolder)
{
    const QByteArray hash =
        QCryptographicHash::hash(FolderKey(strDataFolder).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(20);
    return QStringLiteral("dravelin-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool CSingleInstance::Lock()
{
    return m_lock.TryLock(m_strFolder);
}

bool CSingleInstance::HandOff(const std::vector<std::string>& files, int nTimeoutMs) const
{
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << kRequestTag << quint32(files.size());
        for (const std::string& strFile : files)
            out << QByteArray::fromStdString(strFile);
    }
    const QString strName = ServerName(m_strFolder);
    QDeadlineTimer deadline(nTimeoutMs);
    while (true)
    {
        QLocalSocket socket;
        socket.connectToServer(strName);
        if (socket.waitForConnected(1000))
        {
            socket.write(request);
            if (!socket.waitForBytesWritten(
                    static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1000))))
                return false;
            // The answer comes once the files were taken.
            while (socket.bytesAvailable() < 1)
                if (!socket.waitForReadyRead(
                        static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1000))))
                    return false;
            char c = 0;
            return socket.getChar(&c) && c == kTaken;
        }
        if (deadline.hasExpired())
            return false;
        // Not listening yet: the first program is still starting.
        QThread::msleep(100);
    }
}

bool CSingleInstance::Listen(std::function<void(const std::vector<std::string>&)> fnOpen)
{
    m_fnOpen = std::move(fnOpen);
    const QString strName = ServerName(m_strFolder);
    // We hold the lock, so a socket of that name is left from a program that
    // ended without closing it.
    QLocalServer::removeServer(strName);
    m_pServer = std::make_unique<QLocalServer>();
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_pServer.get(), &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    return m_pServer->listen(strName);
}

void CSingleInstance::OnConnection()
{
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection())
    {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this,
                [this, pSocket]
                {
                    QDataStream in(pSocket);
                    in.startTransaction();
                    quint32 nTag = 0;
                    quint32 nCount = 0;
                    in >> nTag >> nCount;
                    std::vector<std::string> files;
                    for (quint32 i = 0; i < nCount && in.status() == QDataStream::Ok; ++i)
                    {
                        QByteArray file;
                        in >> file;
                        files.push_back(file.toStdString());
                    }
                    if (!in.commitTransaction())
                        return; // more to come
                    if (nTag != kRequestTag)
                    {
                        pSocket->disconnectFromServer();
                        return;
                    }
                    pSocket->putChar(kTaken);
                    pSocket->flush();
                    pSocket->disconnectFromServer();
                    // Opened after the answer: the other program is not kept
                    // waiting on a message box of ours.
                    if (m_fnOpen)
                        QTimer::singleShot(0, this, [this, files] { m_fnOpen(files); });
                });
    }
}
