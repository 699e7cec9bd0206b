// Who else holds a serial port. Serial programs mark a port they use with a lock file LCK..NAME
// in /run/lock that holds their pid: "      1234 minicom user" from minicom, "1234\n" from older
// tools, four binary bytes from some. QSerialPort, opening the port, takes such a file for stale
// when it cannot read it or when it names another program, and deletes it: so comutel looks
// first. picocom and comutel also take an flock on the device itself; /proc/locks tells by whom.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace portlocks {

// The pid that a lock file's contents name; 0 when they name none (empty, garbage).
qint64 pidIn(const QByteArray &contents);

// The machine's lock folders: /run/lock, and /var/lock where that is another folder.
QStringList systemFolders();

struct LockFile
{
    QString path;
    qint64 pid = 0; // 0: the file names no process
};

// The lock file that keeps devicePath from us, looked for under the device's own name and, for
// a link, the name of the device it leads to: one naming a live process other than ours, or one
// naming no process at all, which could be a lock still being written. A lock of a process that
// has ended is stale: unless told otherwise it is removed, so that it stops nobody.
std::optional<LockFile> lockFileOn(const QString &devicePath, const QStringList &folders,
                                   bool removeStale = true);

// The process holding an flock on the device, from /proc/locks; 0 when unknown.
qint64 flockHolder(const QString &devicePath);

} // namespace portlocks
