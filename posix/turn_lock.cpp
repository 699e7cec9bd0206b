#include "posix/turn_lock.h"

#include "posix/file_trust.h"
#include "posix/proc_locks.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool inSharedLockFolder(const std::string &path)
{
    const std::string folder = filetrust::folderOf(path);
    return folder == "/run/lock" || folder == "/var/lock";
}

std::string commandName(long pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

TurnLock::TurnLock(const std::string &path)
    : TurnLock(path, inSharedLockFolder(path) ? Making::ByAnyRun : Making::BySystem)
{
}

Turn::Result TurnLock::tryTake()
{
    if (m_taken)
        return Result::Taken;
    Result failure = Result::Failed;
    if (m_fd < 0 && !open(&failure))
        return failure;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_taken = true;
        return Result::Taken;
    }
    if (errno == EWOULDBLOCK || errno == EINTR)
        return Result::Busy;
    const Result result = fail(std::strerror(errno));
    release();
    return result;
}

void TurnLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_taken = false;
}

// Read access is all flock needs. No link is followed, no FIFO waited on.
bool TurnLock::open(Result *failure)
{
    const char *const path = m_path.c_str();
    for (int attempt = 0; m_fd < 0 && attempt < 2; ++attempt) {
        m_fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0 && errno == ENOENT && m_making == Making::ByAnyRun) {
            m_fd = ::open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (m_fd >= 0)
                ::fchmod(m_fd, 0644); // whatever our umask says
            else if (errno == EEXIST)
                continue; // another run made it just now
        }
        break;
    }
    if (m_fd < 0) {
        const int error = errno;
        struct stat info;
        // No lock folder, none we may make the file in, or (in the package's folder) a file that
        // is not ours to use: a lone run, as before turns existed.
        const bool missing = ::lstat(path, &info) != 0;
        const bool unavailable = missing || (m_making == Making::BySystem && error == EACCES);
        *failure = unavailable ? Result::Unavailable : fail(std::strerror(error));
        return false;
    }
    struct stat info;
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        release();
        m_error = m_path + " não é um arquivo comum";
        *failure = Result::Failed;
        return false;
    }
    return true;
}

Turn::Result TurnLock::fail(const std::string &reason)
{
    m_error = m_path + ": " + reason;
    return Result::Failed;
}

std::string TurnLock::holder() const
{
    struct stat info;
    if ((m_fd >= 0 ? ::fstat(m_fd, &info) : ::stat(m_path.c_str(), &info)) != 0)
        return {};
    std::ifstream locks("/proc/locks");
    const long pid = proclocks::flockHolder(locks, info.st_dev, info.st_ino).value_or(0);
    if (pid <= 0)
        return {};
    const std::string name = commandName(pid);
    if (name == "comutel")
        return "outro comutel (PID " + std::to_string(pid) + ")";
    return "outro programa (PID " + std::to_string(pid) + (name.empty() ? "" : ", " + name) + ")";
}
