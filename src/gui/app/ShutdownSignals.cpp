#include "app/ShutdownSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int s_fds[2] = {-1, -1}; // [0] written by the handler, [1] read by the notifier

extern "C" void OnShutdownSignal(int nSignal)
{
    const int nSavedErrno = errno;
    const unsigned char c = static_cast<unsigned char>(nSignal);
    // A full pipe means a signal is already waiting; this one adds nothing.
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &c, 1);
    errno = nSavedErrno;
}
} // namespace

CShutdownSignals::CShutdownSignals(std::function<void(int)> fnSignal, QObject* pParent)
    : QObject(pParent), m_fnSignal(std::move(fnSignal))
{
    if (s_fds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_fds) != 0)
    {
        s_fds[0] = s_fds[1] = -1;
        return;
    }
    m_pNotifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CShutdownSignals::OnReadable);

    struct sigaction action = {};
    action.sa_handler = OnShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_bInstalled = true;
    for (int nSignal : kSignals)
        if (::sigaction(nSignal, &action, nullptr) != 0)
            m_bInstalled = false;
}

CShutdownSignals::~CShutdownSignals()
{
    if (!m_pNotifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int nSignal : kSignals)
        ::sigaction(nSignal, &action, nullptr);
    delete m_pNotifier;
    m_pNotifier = nullptr;
    ::close(s_fds[0]);
    ::close(s_fds[1]);
    s_fds[0] = s_fds[1] = -1;
}

void CShutdownSignals::OnReadable()
{
    unsigned char buffer[16];
    ssize_t n;
    while ((n = ::read(s_fds[1], buffer, sizeof buffer)) > 0)
    {
        if (m_fnSignal)
            m_fnSignal(buffer[n - 1]);
    }
}
