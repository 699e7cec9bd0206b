#include "posix/termination_signals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kCaught[] = {SIGTERM, SIGINT, SIGHUP};

int writeEnd = -1;
struct sigaction previous[sizeof kCaught / sizeof kCaught[0]];
bool installed[sizeof kCaught / sizeof kCaught[0]];

// Async-signal-safe: one write of one byte, errno kept. A full pipe already says enough.
void onSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default action: the process still ends
    m_readFd = ends[0];
    writeEnd = ends[1];
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < sizeof kCaught / sizeof kCaught[0]; ++i) {
        installed[i] = ::sigaction(kCaught[i], nullptr, &previous[i]) == 0 &&
                       previous[i].sa_handler != SIG_IGN &&
                       ::sigaction(kCaught[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    if (m_readFd < 0)
        return;
    for (std::size_t i = 0; i < sizeof kCaught / sizeof kCaught[0]; ++i)
        if (installed[i])
            ::sigaction(kCaught[i], &previous[i], nullptr);
    ::close(writeEnd);
    ::close(m_readFd);
    writeEnd = -1;
}

bool TerminationSignals::consume()
{
    unsigned char numbers[64];
    ssize_t count;
    while ((count = ::read(m_readFd, numbers, sizeof numbers)) > 0 ||
           (count < 0 && errno == EINTR)) {
        if (count > 0 && m_received == 0)
            m_received = numbers[0];
    }
    return m_received != 0;
}

int TerminationSignals::finish(int status)
{
    if (consume())
        reraise(received());
    return status;
}

void TerminationSignals::reraise(int signal)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, signal);
    ::raise(signal); // pending while blocked, delivered as the mask opens
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::_exit(128 + signal); // only if the signal could not end us
}
