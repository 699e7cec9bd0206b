// Who else holds a serial port, and the marks we leave on one we hold. Serial programs mark a
// port they use with a lock file LCK..NAME in /run/lock that holds their pid: "      1234 minicom
// user" from minicom, "1234\n" from older tools, four binary bytes from some. A lock naming a
// live process keeps the port from us; one naming no process at all may be a lock still being
// written, so it is kept and respected too. picocom and comutel also take an flock on the
// device itself; /proc/locks tells by whom.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace portlocks {

// The largest pid the kernel hands out (/proc/sys/kernel/pid_max).
long maxPid();

// The pid that a lock file's contents name; 0 when they name none (empty, garbage, longer than
// any lock file, a value no process could have).
long pidIn(const std::string &contents, long pidLimit = maxPid());

// The machine's lock folders: /run/lock, and /var/lock where that is another folder.
std::vector<std::string> systemFolders();

// The names a lock on devicePath goes by: the device's own name and, for a link, the name of
// the device it leads to.
std::vector<std::string> lockNames(const std::string &devicePath);

struct LockFile
{
    std::string path;
    long pid = 0; // 0: the file names no process
};

// The lock file that keeps devicePath from us: one naming a live process other than ours, or
// one naming no process at all. A lock of a process that has ended, or naming our own pid, is
// stale: with removeStale it is removed; one we may not remove is passed over all the same.
std::optional<LockFile> lockFileOn(const std::string &devicePath,
                                   const std::vector<std::string> &folders,
                                   bool removeStale = true);

// A lock file of ours, remembered by its inode so that we never remove another's.
struct OwnLock
{
    std::string path;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

// Our own LCK..NAME under each of lockNames(devicePath) in folder, in the classic form, each
// created only where no file of that name is. What cannot be created is simply not taken.
std::vector<OwnLock> takeLocks(const std::string &devicePath, const std::string &folder);
void releaseLocks(std::vector<OwnLock> &locks);

// Whether some process holds an flock on the device (from /proc/locks): its pid, or 0 when
// /proc/locks does not say.
std::optional<long> flockHolder(const std::string &devicePath);

} // namespace portlocks
