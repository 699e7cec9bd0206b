// What an open of a serial device would meet right now, told so that a user can act on it: free,
// held by another program (and by which), no permission (and what to do), or not a working
// serial port. Behind `comutel --ports`, and behind the lines that explain why the search could
// not open a device. It never opens the device: on a real UART an open raises DTR and RTS, and
// the close drops them, which resets some boards.
#pragma once

#include "port_locks.h"

#include <string>
#include <vector>

namespace portcheck {

enum class State { Free, Missing, Busy, NoPermission, NotSerial };

struct Finding
{
    State state = State::Missing;
    // Busy: the holder ("PID 1234", "trava /run/lock/LCK..ttyS1"); NoPermission: what the user
    // can do about it; NotSerial: the system's reason, if any.
    std::string detail;
};

// From stat, access rights, lock files (none removed), /proc/locks and sysfs.
Finding check(const std::string &path, const std::vector<std::string> &lockFolders);
// A port that another program's lock file, or its flock on the device, keeps from us.
Finding heldBy(const portlocks::LockFile &lock);
Finding flockedBy(const std::string &path);
// Why this user may not open path, as a NoPermission finding.
Finding noPermission(const std::string &path);
// In a few words: "livre", "em uso por outro programa (PID 1234)", ...
std::string describe(const Finding &finding);

} // namespace portcheck
