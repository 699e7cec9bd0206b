#include "port_check.h"

#include "port_locks.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace portcheck {

namespace {

QString groupOwning(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const struct group *group = ::getgrgid(info.st_gid);
    return group ? QString::fromLocal8Bit(group->gr_name) : QString::number(info.st_gid);
}

Finding fromSystem(State state, int error)
{
    return {state, QString::fromLocal8Bit(std::strerror(error))};
}

Finding checkOpen(const QString &path, int fd)
{
    termios line;
    if (::tcgetattr(fd, &line) != 0)
        return fromSystem(State::NotSerial, errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return flockedBy(path);
    return {State::Free, {}};
}

} // namespace

Finding check(const QString &path, const QStringList &lockFolders)
{
    if (!QFileInfo::exists(path))
        return {};
    if (const auto lock = portlocks::lockFileOn(path, lockFolders, false))
        return heldBy(*lock);
    // Non-blocking, or a port waiting for its carrier would hold us here.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return {State::NoPermission, groupOwning(path)};
        return error == EBUSY    ? Finding{State::Busy, {}}
               : error == ENOENT ? Finding{}
                                 : fromSystem(State::NotSerial, error);
    }
    const Finding finding = checkOpen(path, fd);
    ::close(fd); // and with it our flock
    return finding;
}

Finding heldBy(const portlocks::LockFile &lock)
{
    return {State::Busy, lock.pid > 0 ? QStringLiteral("PID %1").arg(lock.pid)
                                      : QStringLiteral("trava %1").arg(lock.path)};
}

Finding flockedBy(const QString &path)
{
    const qint64 holder = portlocks::flockHolder(path);
    return {State::Busy, holder > 0 ? QStringLiteral("PID %1").arg(holder) : QString()};
}

QString describe(const Finding &finding)
{
    const QString detail = finding.detail.isEmpty() ? QString() : " (" + finding.detail + ')';
    switch (finding.state) {
    case State::Free:
        return QStringLiteral("livre");
    case State::Missing:
        return QStringLiteral("dispositivo ausente");
    case State::Busy:
        return QStringLiteral("em uso por outro programa") + detail;
    case State::NoPermission:
        return QStringLiteral("sem permissão; o usuário precisa pertencer ao grupo %1, dono do "
                              "dispositivo (normalmente dialout)")
            .arg(finding.detail);
    case State::NotSerial:
        return QStringLiteral("não é uma porta serial em funcionamento") + detail;
    }
    return {};
}

} // namespace portcheck
