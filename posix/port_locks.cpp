#include "port_locks.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace portlocks {

namespace {

bool isRunning(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

struct Contents
{
    QByteArray bytes;
    dev_t device = 0;
    ino_t inode = 0;
};

// Never through a link, and never blocking on a FIFO that someone left in the lock folder.
std::optional<Contents> readLockFile(const QString &path, bool *exists)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    *exists = fd >= 0 || errno != ENOENT;
    if (fd < 0)
        return std::nullopt;
    Contents contents;
    struct stat info;
    char buffer[128];
    ssize_t count = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        count = ::read(fd, buffer, sizeof buffer);
        contents.device = info.st_dev;
        contents.inode = info.st_ino;
    }
    ::close(fd);
    if (count < 0)
        return std::nullopt;
    contents.bytes = QByteArray(buffer, count);
    return contents;
}

// Only the very file that was read: a new lock put in its place meanwhile stays.
void removeStaleLock(const QString &path, const Contents &stale)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && info.st_dev == stale.device &&
        info.st_ino == stale.inode)
        ::unlink(QFile::encodeName(path).constData());
}

} // namespace

qint64 pidIn(const QByteArray &contents)
{
    // A binary pid is four bytes in the machine's order; pids stay below 2^22, so its last byte
    // is NUL and it never reads as text.
    const bool text =
        contents.size() != 4 || std::all_of(contents.begin(), contents.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == ' ' || c == '\n';
        });
    if (!text) {
        qint32 pid;
        std::memcpy(&pid, contents.constData(), sizeof pid);
        return pid > 0 ? pid : 0;
    }
    qsizetype start = 0;
    while (start < contents.size() && contents.at(start) == ' ')
        ++start;
    qsizetype end = start;
    while (end < contents.size() && end - start < 10 && contents.at(end) >= '0' &&
           contents.at(end) <= '9')
        ++end;
    const qint64 pid = contents.mid(start, end - start).toLongLong();
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? pid : 0;
}

QStringList systemFolders()
{
    QStringList folders{QStringLiteral("/run/lock")};
    const QString varLock = QFileInfo(QStringLiteral("/var/lock")).canonicalFilePath();
    if (!varLock.isEmpty() && varLock != QFileInfo(folders.first()).canonicalFilePath())
        folders << QStringLiteral("/var/lock");
    return folders;
}

std::optional<LockFile> lockFileOn(const QString &devicePath, const QStringList &folders,
                                   bool removeStale)
{
    const QFileInfo device(devicePath);
    QStringList names{device.fileName()};
    if (device.isSymLink() && !device.canonicalFilePath().isEmpty())
        names << QFileInfo(device.canonicalFilePath()).fileName();
    for (const QString &folder : folders) {
        for (const QString &name : std::as_const(names)) {
            const QString path = folder + QStringLiteral("/LCK..") + name;
            bool exists = false;
            const std::optional<Contents> contents = readLockFile(path, &exists);
            if (!exists)
                continue;
            const qint64 pid = contents ? pidIn(contents->bytes) : 0;
            if (pid == 0 || (pid != ::getpid() && isRunning(pid)))
                return LockFile{path, pid};
            if (pid != ::getpid() && removeStale)
                removeStaleLock(path, *contents);
        }
    }
    return std::nullopt;
}

qint64 flockHolder(const QString &devicePath)
{
    struct stat device;
    QFile locks(QStringLiteral("/proc/locks"));
    if (::stat(QFile::encodeName(devicePath).constData(), &device) != 0 ||
        !locks.open(QIODevice::ReadOnly))
        return 0;
    // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF"; waiters' lines carry "->" and are skipped.
    const QByteArray id = QByteArray::number(major(device.st_dev), 16).rightJustified(2, '0') +
                          ':' +
                          QByteArray::number(minor(device.st_dev), 16).rightJustified(2, '0') +
                          ':' + QByteArray::number(quint64(device.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields.at(1) == "FLOCK" && fields.at(5) == id)
            return fields.at(4).toLongLong();
    }
    return 0;
}

} // namespace portlocks
