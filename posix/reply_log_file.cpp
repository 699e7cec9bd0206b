#include "reply_log.h"

#include "file_trust.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kReadableByAll = 0644;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (count < 0 && errno != EINTR)
            return false;
        done += count > 0 ? count : 0;
    }
    return true;
}

// A fresh file, made by us alone under a name no one can guess and never through a link, that
// then takes the log's name: a reader never sees the log empty or half written, and whatever
// stood under that name (even a link) is replaced, not written through. Returns 0 or errno.
int replaceByRename(int folder, const QByteArray &name, const QByteArray &contents)
{
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary =
            '.' + name + '.' + QByteArray::number(QRandomGenerator::system()->generate(), 36);
        fd = ::openat(folder, temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kReadableByAll);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    // fchmod: whatever the caller's umask, the log stays readable by all.
    const bool written =
        writeAll(fd, contents) && ::fchmod(fd, kReadableByAll) == 0 && ::fdatasync(fd) == 0;
    int error = written ? 0 : errno;
    ::close(fd);
    if (written && ::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlinkat(folder, temporary.constData(), 0);
    return error;
}

// Where the folder is not ours to write but the log itself is: written in place, as long as it
// is a plain file with no other name (a hard link planted there would lead elsewhere).
bool writeInPlace(int folder, const QByteArray &name, const QByteArray &contents)
{
    const int fd = ::openat(folder, name.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    const bool written = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
                         ::ftruncate(fd, 0) == 0 && writeAll(fd, contents);
    ::close(fd);
    return written;
}

} // namespace

ReplyLog::ReplyLog(const QString &folder) : m_path(QDir(folder).filePath(QStringLiteral("log.txt")))
{
}

ReplyLog ReplyLog::besideExecutable()
{
    // The folder QCoreApplication::applicationDirPath() would give, known before Qt starts, so
    // that even a start that fails early resets the log.
    return ReplyLog(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
}

bool ReplyLog::write(const QByteArray &text)
{
    QFileInfo log(m_path);
    if (log.isSymLink()) {
        if (!filetrust::isTrusted(m_path))
            return fail(QCoreApplication::translate(
                "ReplyLog", "é um link que outro usuário pode ter posto, e não é seguido"));
        log.setFile(log.absoluteDir(), log.symLinkTarget());
    }
    const int folder = ::open(QFile::encodeName(log.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return fail(systemError(errno));
    const QByteArray name = QFile::encodeName(log.fileName());
    const QByteArray contents = text + "\r\n";
    const int error = replaceByRename(folder, name, contents);
    const bool written =
        error == 0 || ((error == EACCES || error == EROFS) && writeInPlace(folder, name, contents));
    ::close(folder);
    return written || fail(systemError(error));
}

bool ReplyLog::fail(const QString &reason)
{
    m_error = QCoreApplication::translate("ReplyLog", "não foi possível gravar %1: %2")
                  .arg(m_path, reason);
    return false;
}
