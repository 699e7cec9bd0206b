#include "posix/port_locks.h"

#include "posix/file_trust.h"
#include "posix/proc_locks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portlocks {

namespace {

constexpr long kDefaultPidMax = 4194304; // the kernel's own ceiling
// No program writes a longer lock file, and a longer one names no process: it is read to one
// byte more, so that it is never judged by its beginning alone.
constexpr std::size_t kLongestLock = 128;

bool isRunning(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

struct Contents
{
    std::string bytes;
    struct stat info = {};
    bool read = false; // a plain file, and read
};

// Never through a link, and never blocking on a FIFO that someone left in the lock folder;
// whatever is not a plain file names no process. Empty when there is no such file.
std::optional<Contents> readLockFile(const std::string &path)
{
    Contents contents;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || ::lstat(path.c_str(), &contents.info) != 0)
            return std::nullopt;
        return contents;
    }
    char buffer[kLongestLock + 1];
    if (::fstat(fd, &contents.info) == 0 && S_ISREG(contents.info.st_mode)) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        contents.read = count >= 0;
        contents.bytes.assign(buffer, static_cast<size_t>(std::max<ssize_t>(count, 0)));
    }
    ::close(fd);
    return contents;
}

// Only the very file that was read, and only while it still says what it said: a file put in
// its place may have been given the same inode.
bool removeIfSame(const std::string &path, unsigned long long device, unsigned long long inode,
                  const std::string &bytes)
{
    const std::optional<Contents> now = readLockFile(path);
    return now && now->read && now->info.st_dev == device && now->info.st_ino == inode &&
           now->bytes == bytes && ::unlink(path.c_str()) == 0;
}

// Changed less than kLockWritingTime ago; a time ahead of the clock is no sign of a writer.
bool mayBeBeingWritten(const struct stat &info)
{
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = std::chrono::seconds(now.tv_sec - info.st_mtim.tv_sec) +
                     std::chrono::nanoseconds(now.tv_nsec - info.st_mtim.tv_nsec);
    return age > -kLockWritingTime && age < kLockWritingTime;
}

// The users a process runs as (real, effective, saved, file system); empty when unknown.
std::vector<long> usersOf(long pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    std::vector<long> users;
    while (users.empty() && std::getline(status, line)) {
        std::istringstream fields(line);
        std::string key;
        long user;
        for (fields >> key; key == "Uid:" && fields >> user;)
            users.push_back(user);
    }
    return users;
}

std::string classicForm(long pid)
{
    char text[16];
    const int size = std::snprintf(text, sizeof text, "%10ld\n", pid);
    return std::string(text, static_cast<size_t>(size));
}

std::optional<OwnLock> createLock(const std::string &path, const std::string &text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::nullopt;
    const auto size = static_cast<ssize_t>(text.size());
    struct stat info;
    // Readable by all whatever the umask, so that other programs can tell whose it is.
    const bool written = ::write(fd, text.data(), text.size()) == size && ::fstat(fd, &info) == 0 &&
                         ((info.st_mode & 07777) == 0644 || ::fchmod(fd, 0644) == 0);
    if (!written) {
        ::unlink(path.c_str());
        ::close(fd);
        return std::nullopt;
    }
    return OwnLock{path, info.st_dev, info.st_ino, fd};
}

// Still the file we made: we hold it open, so no other file can have its inode meanwhile.
bool isOurs(const std::string &path, const std::vector<OwnLock> &ours)
{
    struct stat info;
    const auto own = std::find_if(ours.begin(), ours.end(),
                                  [&path](const OwnLock &lock) { return lock.path == path; });
    return own != ours.end() && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_dev == own->device && info.st_ino == own->inode;
}

long readMaxPid()
{
    char text[32] = {};
    const int fd = ::open("/proc/sys/kernel/pid_max", O_RDONLY | O_CLOEXEC);
    const ssize_t size = fd < 0 ? -1 : ::read(fd, text, sizeof text - 1);
    if (fd >= 0)
        ::close(fd);
    const long value = size > 0 ? std::strtol(text, nullptr, 10) : 0;
    return value > 1 ? value : kDefaultPidMax;
}

} // namespace

long maxPid()
{
    static const long value = readMaxPid(); // root alone changes it, and seldom
    return value;
}

long pidIn(const std::string &contents, long pidLimit)
{
    const auto possible = [pidLimit](long long pid) { return pid >= 1 && pid <= pidLimit; };
    if (contents.size() > kLongestLock)
        return 0;
    // A binary pid is four bytes in the machine's order; any other four bytes that are not text
    // ("abc\n") name a value no process has, and are taken for what they are: no pid.
    const bool text =
        contents.size() != 4 || contents.find_first_not_of("0123456789 \n") == std::string::npos;
    if (!text) {
        std::int32_t pid;
        std::memcpy(&pid, contents.data(), sizeof pid);
        return possible(pid) ? pid : 0;
    }
    size_t start = contents.find_first_not_of(' ');
    size_t end = start;
    while (end < contents.size() && isDigit(contents[end]))
        ++end;
    // The digits end the text or are followed by a blank; no more than ten of them.
    if (start == std::string::npos || end == start || end - start > 10 ||
        (end < contents.size() && contents[end] != ' ' && contents[end] != '\n'))
        return 0;
    const long long pid = std::stoll(contents.substr(start, end - start));
    return possible(pid) ? static_cast<long>(pid) : 0;
}

std::vector<std::string> systemFolders()
{
    std::vector<std::string> folders{"/run/lock"};
    struct stat runLock, varLock;
    if (::stat("/var/lock", &varLock) == 0 &&
        (::stat("/run/lock", &runLock) != 0 || runLock.st_dev != varLock.st_dev ||
         runLock.st_ino != varLock.st_ino))
        folders.push_back("/var/lock");
    return folders;
}

std::vector<std::string> lockNames(const std::string &devicePath)
{
    std::vector<std::string> names{filetrust::nameOf(devicePath)};
    struct stat info;
    if (::lstat(devicePath.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return names;
    const std::string target = filetrust::resolved(devicePath);
    if (!target.empty() && filetrust::nameOf(target) != names.front())
        names.push_back(filetrust::nameOf(target));
    return names;
}

std::optional<LockFile> lockFileOn(const std::string &devicePath,
                                   const std::vector<std::string> &folders, bool removeStale,
                                   std::vector<LockFile> *forged)
{
    return lockFileUnder(lockNames(devicePath), folders, removeStale, forged);
}

std::optional<LockFile> lockFileUnder(const std::vector<std::string> &names,
                                      const std::vector<std::string> &folders, bool removeStale,
                                      std::vector<LockFile> *forged,
                                      const std::vector<OwnLock> &ours)
{
    for (const std::string &folder : folders) {
        for (const std::string &name : names) {
            const std::string path = folder + "/LCK.." + name;
            if (isOurs(path, ours))
                continue;
            const std::optional<Contents> contents = readLockFile(path);
            if (!contents)
                continue;
            LockFile lock{path, contents->read ? pidIn(contents->bytes) : 0,
                          static_cast<long>(contents->info.st_uid)};
            // A plain file we may not read could say anything: only root, who may, judges it.
            const bool unread = !contents->read && S_ISREG(contents->info.st_mode);
            if (lock.pid == 0 && (unread || mayBeBeingWritten(contents->info)))
                return lock;
            if (lock.pid != 0 && lock.pid != ::getpid() && isRunning(lock.pid)) {
                const std::vector<long> users = usersOf(lock.pid);
                if (lock.owner == 0 || users.empty() ||
                    std::find(users.begin(), users.end(), lock.owner) != users.end())
                    return lock;
                lock.pidUser = users.size() > 1 ? users[1] : users[0];
                if (forged)
                    forged->push_back(lock);
            }
            // Stale. One we may not remove (another user's, in a sticky folder) stops no one:
            // the flock on the device guards the port then.
            if (removeStale && contents->read)
                removeIfSame(path, contents->info.st_dev, contents->info.st_ino, contents->bytes);
        }
    }
    return std::nullopt;
}

std::optional<Holder> deviceHolder(unsigned long long device, unsigned long long filesystem,
                                   int ownFd)
{
    DIR *processes = ::opendir("/proc");
    std::optional<Holder> holder;
    for (dirent *process; !holder && processes && (process = ::readdir(processes));) {
        const std::string folder = std::string("/proc/") + process->d_name + "/fd";
        DIR *fds = isDigit(process->d_name[0]) ? ::opendir(folder.c_str()) : nullptr;
        const bool self = std::atol(process->d_name) == ::getpid();
        for (dirent *fd; !holder && fds && (fd = ::readdir(fds));) {
            const std::string link = folder + '/' + fd->d_name;
            char target[6] = {};
            struct stat info;
            // Only what was opened under /dev is stat'ed: never a file of a hung network mount.
            if ((self && std::atoi(fd->d_name) == ownFd) ||
                ::readlink(link.c_str(), target, sizeof target) < 5 ||
                std::strncmp(target, "/dev/", 5) != 0 || ::stat(link.c_str(), &info) != 0 ||
                !S_ISCHR(info.st_mode) || info.st_rdev != device ||
                (filesystem != 0 && info.st_dev != filesystem))
                continue;
            std::ifstream comm("/proc/" + std::string(process->d_name) + "/comm");
            holder = Holder{std::atol(process->d_name), {}};
            std::getline(comm, holder->name);
        }
        if (fds)
            ::closedir(fds);
    }
    if (processes)
        ::closedir(processes);
    return holder;
}

std::vector<OwnLock> takeLocks(const std::vector<std::string> &names, const std::string &folder)
{
    std::vector<OwnLock> locks;
    const std::string text = classicForm(::getpid());
    for (const std::string &name : names) {
        if (auto lock = createLock(folder + "/LCK.." + name, text))
            locks.push_back(*lock);
    }
    return locks;
}

void releaseLocks(std::vector<OwnLock> &locks)
{
    for (const OwnLock &lock : locks) {
        struct stat info;
        if (::lstat(lock.path.c_str(), &info) == 0 && info.st_dev == lock.device &&
            info.st_ino == lock.inode)
            ::unlink(lock.path.c_str());
        ::close(lock.fd);
    }
    locks.clear();
}

std::optional<long> flockHolder(const std::string &devicePath)
{
    struct stat device;
    std::ifstream locks("/proc/locks");
    if (::stat(devicePath.c_str(), &device) != 0 || !locks)
        return std::nullopt;
    return proclocks::flockHolder(locks, device.st_dev, device.st_ino);
}

} // namespace portlocks
