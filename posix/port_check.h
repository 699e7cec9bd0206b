// What an open of a serial device would meet right now, told so that a user can act on it: free,
// held by another program (and by which), no permission (and what to do), or not a working
// serial port. Behind `comutel --ports`, and behind the lines that explain why the search could
// not open a device. It never opens a real port: on a UART an open raises DTR and RTS, and the
// close drops them, which resets some boards. A pseudo-terminal, which has no modem lines, is
// opened for a moment, untouched, when all else says free: only the kernel can tell whether it
// is in exclusive mode, which outlives the program that set it.
#pragma once

#include "posix/port_locks.h"

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace portcheck {

// LeftExclusive: a pseudo-terminal whose open the kernel refuses (exclusive mode, TIOCEXCL) with
// no process of ours holding it: most likely left so by a program that ended.
enum class State { Free, Missing, Busy, NoPermission, NotSerial, LeftExclusive };

struct Finding
{
    State state = State::Missing;
    // Busy: the holder ("PID 1234", "PID 1234, gpsd", "trava /run/lock/LCK..ttyS1"), if known;
    // NoPermission: what the user
    // can do about it; NotSerial: the system's reason, if any.
    std::string detail;
};

// From stat, access rights, lock files (none removed), /proc/locks, sysfs, /proc/PID/fd and, for
// a pseudo-terminal, the kernel's exclusive mode.
Finding check(const std::string &path, const std::vector<std::string> &lockFolders);
// A port the kernel keeps in exclusive mode, opened by root through ownFd (or refused to us, -1):
// busy while a process has it open; a pseudo-terminal that no one has open kept the mode after
// its holder ended, which root may take and clear (Free), and which is LeftExclusive to others.
Finding heldExclusively(const struct stat &node, int ownFd);
bool inExclusiveMode(int fd);
bool isPseudoTerminal(dev_t device);
// The line for a forged lock passed over: the file, its owner, and whose the process is.
std::string forgery(const portlocks::LockFile &lock);
// A port that another program's lock file, or its flock on the device, keeps from us.
Finding heldBy(const portlocks::LockFile &lock);
Finding flockedBy(const std::string &path);
// Why this user may not open path, as a NoPermission finding.
Finding noPermission(const std::string &path);
// In a few words: "livre", "em uso por outro programa (PID 1234)", ...
std::string describe(const Finding &finding);

} // namespace portcheck
