// What an open of a serial device would meet right now, told so that a user can act on it: free,
// held by another program (and by which), no permission (and the group to join), or not a
// working serial port. Behind `comutel --ports`, and behind the lines that explain why the
// search could not open a device.
#pragma once

#include "port_locks.h"

#include <QString>
#include <QStringList>

namespace portcheck {

enum class State { Free, Missing, Busy, NoPermission, NotSerial };

struct Finding
{
    State state = State::Missing;
    QString detail; // the holder ("PID 1234"), the group to join, or the system's reason
};

// Holds the device open only for the check, sends nothing and removes no lock file.
Finding check(const QString &path, const QStringList &lockFolders);
// A port that another program's lock file, or its flock on the device, keeps from us.
Finding heldBy(const portlocks::LockFile &lock);
Finding flockedBy(const QString &path);
// In a few words: "livre", "em uso por outro programa (PID 1234)", ...
QString describe(const Finding &finding);

} // namespace portcheck
