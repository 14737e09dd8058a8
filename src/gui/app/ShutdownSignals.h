#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the user-interface thread.
// The handler only writes the signal number into one end of a socket pair;
// a notifier on the other end reads it in the event loop and runs the
// callback, so nothing but write() happens inside the handler. One object
// per process; the default actions return when it is destroyed.
class CShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit CShutdownSignals(std::function<void(int)> fnSignal, QObject* pParent = nullptr);
    ~CShutdownSignals() override;
    CShutdownSignals(const CShutdownSignals&) = delete;
    CShutdownSignals& operator=(const CShutdownSignals&) = delete;

    // False when the socket pair or a handler could not be set up.
    bool IsInstalled() const { return m_bInstalled; }

private:
    void OnReadable();

    std::function<void(int)> m_fnSignal;
    QSocketNotifier* m_pNotifier = nullptr;
    bool m_bInstalled = false;
};
