#include "posix/reply_log_file.h"

#include "posix/file_trust.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kReadableByAll = 0644;
// Reasons of a write in place beside errno's, below zero.
constexpr int kNotAFile = -1;
constexpr int kMoreThanOneName = -2;

bool writeAll(int fd, const std::string &bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t count = ::pwrite(fd, bytes.data() + done, bytes.size() - done, done);
        if (count < 0 && errno != EINTR)
            return false;
        done += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

std::string base36(unsigned long long value)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
        value /= 36;
    } while (value != 0);
    return digits;
}

unsigned long long randomNumber()
{
    unsigned long long value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value)
        value ^= static_cast<unsigned long long>(
                     std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 static_cast<unsigned long long>(::getpid()); // O_EXCL still holds
    return value;
}

// ".log.txt.PID.RANDOM": the writer's pid tells a later run whether it may still be at work.
std::string temporaryPrefix(const std::string &name)
{
    return '.' + name + '.';
}

// The pid of the writer of a temporary of name's, or nothing when entry is not one exactly.
std::optional<pid_t> writerOf(const std::string &entry, const std::string &name)
{
    const std::string prefix = temporaryPrefix(name);
    if (entry.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::string rest = entry.substr(prefix.size());
    const std::size_t dot = rest.find('.');
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isBase36 = [&](char c) { return isDigit(c) || (c >= 'a' && c <= 'z'); };
    if (dot == 0 || dot == std::string::npos || dot > 9 || rest[0] == '0' ||
        dot + 1 == rest.size() || rest.size() - dot - 1 > 13)
        return std::nullopt;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (i != dot && !(i < dot ? isDigit(rest[i]) : isBase36(rest[i])))
            return std::nullopt;
    return static_cast<pid_t>(std::strtol(rest.c_str(), nullptr, 10));
}

// Temporaries left by writers killed between creating and renaming them. A live writer's, or one
// we cannot tell about, stays; only plain files go, and unlinking never follows a link.
void removeStaleTemporaries(int folder, const std::string &name)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *const entries = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!entries) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const auto writer = writerOf(entry->d_name, name);
        struct stat info;
        if (writer && *writer != ::getpid() && ::kill(*writer, 0) != 0 && errno == ESRCH &&
            ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// The new file takes the place of the old one as the old one was: root gives it the owner,
// group and mode it replaces; another user keeps the group where allowed, and the mode.
void takeAttributesOf(int fd, int folder, const std::string &name)
{
    struct stat old;
    if (::fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(old.st_mode)) {
        ::fchmod(fd, kReadableByAll); // whatever the caller's umask, readable by all
        return;
    }
    const uid_t owner = ::geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1);
    const bool groupKept = ::fchown(fd, owner, old.st_gid) == 0 ||
                           ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    // A log is never executable nor set-id; and a group other than the old one's (ours, when
    // we are not of that one) is not given write access that it never had.
    ::fchmod(fd, old.st_mode & (groupKept ? 0666 : 0646));
}

// A fresh file, made by us alone under a name no one can guess and never through a link, that
// then takes the log's name: a reader never sees the log empty or half written, and whatever
// stood under that name (even a link) is replaced, not written through. Returns 0 or errno.
int replaceByRename(int folder, const std::string &name, const std::string &contents, bool durable,
                    struct stat &info)
{
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary =
            temporaryPrefix(name) + std::to_string(::getpid()) + '.' + base36(randomNumber());
        fd = ::openat(folder, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kReadableByAll);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    takeAttributesOf(fd, folder, name);
    const bool written =
        writeAll(fd, contents) && (!durable || ::fdatasync(fd) == 0) && ::fstat(fd, &info) == 0;
    int error = written ? 0 : errno;
    ::close(fd);
    if (written && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlinkat(folder, temporary.c_str(), 0);
    return error;
}

// Where the folder is not ours to write but the log itself is: written in place, as long as it
// is a plain file with no other name (a hard link planted there would lead elsewhere). Written
// over, then cut to length, so that a reader never finds it empty. The open never waits: a FIFO
// there would wait for a reader, and a signal would not end the wait. Returns 0, errno, or
// kNotAFile or kMoreThanOneName.
int writeInPlace(int folder, const std::string &name, const std::string &contents,
                 struct stat &info)
{
    const int fd =
        ::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENXIO ? kNotAFile : errno; // ENXIO: a FIFO that nobody reads
    int error = ::fstat(fd, &info) != 0  ? errno
                : !S_ISREG(info.st_mode) ? kNotAFile
                : info.st_nlink != 1     ? kMoreThanOneName
                                         : 0;
    if (error == 0 &&
        !(writeAll(fd, contents) && ::ftruncate(fd, static_cast<off_t>(contents.size())) == 0))
        error = errno;
    ::close(fd);
    return error;
}

// Whether the open file holds exactly contents, from its start.
bool holds(int fd, const std::string &contents)
{
    std::string bytes(contents.size() + 1, '\0'); // one more: a longer file differs
    return ::pread(fd, &bytes[0], bytes.size(), 0) == ssize_t(contents.size()) &&
           bytes.compare(0, contents.size(), contents) == 0;
}

// Where the log, a plain file of one name, holds this very line already: written over with the
// same bytes, which a reader cannot tell from the line left as it was, so that nothing need be
// replaced; the file keeps its inode, owner, group and mode. Nothing but such a file is opened.
bool rewriteSameLine(int folder, const std::string &name, const std::string &contents, bool durable,
                     struct stat &info)
{
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
        info.st_size != static_cast<off_t>(contents.size()))
        return false;
    const int fd =
        ::openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened;
    const bool same = ::fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev &&
                      opened.st_ino == info.st_ino && opened.st_nlink == 1 && holds(fd, contents);
    const bool written = same && writeAll(fd, contents) && (!durable || ::fdatasync(fd) == 0);
    ::close(fd);
    return written;
}

std::string reasonOf(int error)
{
    return error == kNotAFile          ? std::string("não é um arquivo comum")
           : error == kMoreThanOneName ? std::string("tem mais de um nome (link físico)")
                                       : std::strerror(error);
}

bool inGroup(gid_t group)
{
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return group == ::getegid() || std::count(groups.begin(), groups.end(), group) > 0;
}

// What a user who may not write the log can do about it: join the group the folder lets write
// (the package's dialout), or run a copy of the program where the user can write.
std::string remedy(int folder)
{
    struct stat info;
    const group *owners = nullptr;
    if (::fstat(folder, &info) == 0 && (info.st_mode & S_IWGRP) && !inGroup(info.st_gid) &&
        (owners = ::getgrgid(info.st_gid)))
        return std::string("; entre no grupo ") + owners->gr_name + " (sudo adduser $USER " +
               owners->gr_name + ") e de novo na sessão";
    return "; o log fica ao lado do executável: rode uma cópia do comutel numa pasta em que "
           "você possa gravar";
}

// Whether path is still the file of that write and holds its line: read back, since another
// run may have written there in place meanwhile. Never through a link, never waiting on a FIFO.
bool stillHolds(const std::string &path, const ReplyLogFile::Written &written)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    const bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      info.st_dev == written.device && info.st_ino == written.inode &&
                      holds(fd, written.contents);
    ::close(fd);
    return same;
}

// Where a link planted by root or by us leads: one step, relative to the link's folder.
std::optional<std::string> linkTarget(const std::string &path)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return std::nullopt;
    const std::string to(target, static_cast<std::size_t>(length));
    return to[0] == '/' ? to : filetrust::folderOf(path) + '/' + to;
}

} // namespace

ReplyLogFile::ReplyLogFile(std::string folder) : m_path(std::move(folder) + "/log.txt") {}

ReplyLogFile ReplyLogFile::besideExecutable()
{
    const std::string executable = filetrust::resolved("/proc/self/exe");
    return ReplyLogFile(executable.empty() ? std::string(".") : filetrust::folderOf(executable));
}

bool ReplyLogFile::write(const std::string &text)
{
    std::string log = m_path;
    struct stat info;
    if (::lstat(log.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (!filetrust::isTrusted(log))
            return fail("é um link que outro usuário pode ter posto, e não é seguido");
        const auto target = linkTarget(log);
        if (!target)
            return fail(std::strerror(errno));
        log = *target;
    }
    const std::string contents = text + "\r\n";
    // The end of a run writes "-" again: where nobody has written since our "-", it is there.
    if (contents == m_written.contents && stillHolds(log, m_written))
        return true;
    m_written = {};
    const int folder = ::open(filetrust::folderOf(log).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return fail(std::strerror(errno));
    const std::string name = filetrust::nameOf(log);
    removeStaleTemporaries(folder, name);
    // An answer must survive a crash; "-" is written twice on every run's path, and a lost one
    // only leaves what the file held before.
    struct stat written;
    const bool durable = text != "-";
    int error = rewriteSameLine(folder, name, contents, durable, written)
                    ? 0
                    : replaceByRename(folder, name, contents, durable, written);
    if (error == EACCES || error == EROFS) {
        const int inPlace = writeInPlace(folder, name, contents, written);
        // No log.txt to write over, or one we may not write: the folder's refusal says it all.
        if (inPlace != ENOENT && inPlace != EACCES)
            error = inPlace;
    }
    const bool refused = error == EACCES || error == EPERM || error == EROFS;
    const std::string hint = refused ? remedy(folder) : "";
    ::close(folder);
    if (error == 0)
        m_written = {contents, written.st_dev, written.st_ino};
    return error == 0 || fail(reasonOf(error) + hint);
}

bool ReplyLogFile::fail(const std::string &reason)
{
    m_error = "não foi possível gravar " + m_path + ": " + reason;
    return false;
}
