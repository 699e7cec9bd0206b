#include "turn_lock.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t waitIsOver = 0;

void endWait(int)
{
    waitIsOver = 1;
}

// Interrupts a blocking call once longest has passed, and every 50 ms after that, in case the
// first signal came just before the call began to wait.
class WaitAlarm
{
public:
    explicit WaitAlarm(std::chrono::milliseconds longest)
    {
        waitIsOver = 0;
        struct sigaction action = {};
        action.sa_handler = endWait; // no SA_RESTART: the wait must end with EINTR
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &m_oldAction);
        const auto asTimeval = [](std::chrono::milliseconds ms) {
            return timeval{static_cast<time_t>(ms.count() / 1000),
                           static_cast<suseconds_t>(ms.count() % 1000 * 1000)};
        };
        const itimerval timer{asTimeval(std::chrono::milliseconds(50)),
                              asTimeval(std::max(longest, std::chrono::milliseconds(1)))};
        ::setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~WaitAlarm()
    {
        const itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &m_oldAction, nullptr);
    }

private:
    struct sigaction m_oldAction = {};
};

} // namespace

int TurnLock::open()
{
    const QByteArray path = QFile::encodeName(m_path);
    // Anyone may take a turn, so the file is shared by all; read access is all flock needs.
    // Whoever comes first makes it, readable by all. No link is followed, no FIFO waited on.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0644);
            if (fd >= 0)
                ::fchmod(fd, 0644); // whatever our umask says
            else if (errno == EEXIST)
                continue; // another run made it just now
        }
        return fd;
    }
    return -1;
}

TurnLock::Result TurnLock::take(std::chrono::milliseconds longest)
{
    release();
    const int fd = open();
    if (fd < 0) {
        const int error = errno;
        // No lock folder, or none we may make the file in: a lone run, as before turns existed.
        if (!QFileInfo::exists(m_path) && !QFileInfo(m_path).isSymLink())
            return Result::Unavailable;
        m_error =
            QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
        return Result::Failed;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        m_error = QStringLiteral("%1 não é um arquivo comum").arg(m_path);
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const WaitAlarm alarm(longest);
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR && !waitIsOver)
                continue;
            const bool timedOut = errno == EINTR;
            m_error = timedOut ? QString() : QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return timedOut ? Result::TimedOut : Result::Failed;
        }
    }
    m_fd = fd;
    return Result::Taken;
}

void TurnLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
