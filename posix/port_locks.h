// Who else holds a serial port, and the marks we leave on one we hold. Serial programs mark a
// port they use with a lock file LCK..NAME in /run/lock that holds their pid: "      1234 minicom
// user" from minicom, "1234\n" from older tools, four binary bytes from some. /run/lock is
// writable by every user, so a lock keeps the port from us only when it could be true: a live
// process's, in a file of root's or of that process's user, or one naming no process that is
// young enough to be still being written. picocom and comutel also take an flock on the device
// itself; /proc/locks tells by whom, and /proc/PID/fd who has the device open.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace portlocks {

// The largest pid the kernel hands out (/proc/sys/kernel/pid_max), read once a run.
long maxPid();

// The pid that a lock file's contents name; 0 when they name none (empty, garbage, longer than
// any lock file, a value no process could have).
long pidIn(const std::string &contents, long pidLimit = maxPid());

// The machine's lock folders: /run/lock, and /var/lock where that is another folder.
std::vector<std::string> systemFolders();

// The names a lock on devicePath goes by: the device's own name and, for a link, the name of
// the device it leads to. An open works them out once, as each resolves a link.
std::vector<std::string> lockNames(const std::string &devicePath);

// How long after its last change a lock naming no process may still be being written.
constexpr std::chrono::seconds kLockWritingTime{2};

// A lock file of ours, remembered by its inode so that we never remove another's, and held open
// until it is released, so that no other file can be given that inode meanwhile.
struct OwnLock
{
    std::string path;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    int fd = -1;
};

struct LockFile
{
    std::string path;
    long pid = 0;      // 0: the file names no process
    long owner = -1;   // the file's owner
    long pidUser = -1; // the user the named process runs as, when known
};

// The lock file that keeps devicePath from us: one naming a live process other than ours, in a
// file of root's or of that process's user; one naming no process, for kLockWritingTime after
// its last change; one we may not read. Every other is stale: with removeStale it is removed,
// and one we may not remove is passed over all the same. A stale lock naming a live process is
// forged: it goes into forged as well.
std::optional<LockFile> lockFileOn(const std::string &devicePath,
                                   const std::vector<std::string> &folders, bool removeStale = true,
                                   std::vector<LockFile> *forged = nullptr);

// The same, for the names lockNames gave; a lock of ours that is still the file we made, as its
// inode tells, is passed over unread.
std::optional<LockFile> lockFileUnder(const std::vector<std::string> &names,
                                      const std::vector<std::string> &folders, bool removeStale,
                                      std::vector<LockFile> *forged,
                                      const std::vector<OwnLock> &ours = {});

struct Holder
{
    long pid = 0;
    std::string name; // its command name
};

// A process that has the character device open, through any descriptor but ownFd of ours: from
// /proc/PID/fd, which root may read for every process and a user for their own. filesystem: for
// a pseudo-terminal, the devpts instance its node lives in (the node's st_dev), since each
// instance numbers its terminals from 0; 0 for any.
std::optional<Holder> deviceHolder(unsigned long long device, unsigned long long filesystem = 0,
                                   int ownFd = -1);

// Our own LCK..NAME under each of names (lockNames) in folder, in the classic form, each created
// only where no file of that name is. What cannot be created is simply not taken.
std::vector<OwnLock> takeLocks(const std::vector<std::string> &names, const std::string &folder);
void releaseLocks(std::vector<OwnLock> &locks);

// Whether some process holds an flock on the device (from /proc/locks): its pid, or 0 when
// /proc/locks does not say.
std::optional<long> flockHolder(const std::string &devicePath);

} // namespace portlocks
