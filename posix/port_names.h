// COM numbers on Linux. COM1 to COM4 are the four legacy ports /dev/ttyS0 to /dev/ttyS3, present
// or not; from COM5 on come the USB adapters that exist, ttyUSB before ttyACM, each family counted
// up to its first gap. Users who know the board as COM5 find it there again.
//
// Adapters change numbers with the order they were plugged in, so a user may pin a number the
// way Wine does: a link comN (N from 1 to 30) in a map folder gives COM N the link's target,
// typically a /dev/serial/by-id name. A device so mapped keeps no other number, and the number
// it had stays empty, so that no other device moves and none is tried twice.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace portnames {

enum class Origin { Default, UserMap, SystemMap };

struct MapFolder
{
    QString path;
    Origin origin = Origin::UserMap;
};

struct ComPort
{
    ComPort(const QString &path = {}, Origin from = Origin::Default, const QString &mapEntry = {})
        : device(path), origin(from), entry(mapEntry)
    {
    }

    QString device; // empty: no device has this number
    Origin origin;
    QString entry; // the map entry that gave the number
};

struct PortMap
{
    QList<ComPort> ports; // element 0 is COM1
    QStringList ignored;  // one line for each map entry that is not a usable link

    ComPort port(int number) const { return ports.value(number - 1); }
};

constexpr int kLastMappable = 30;

// The map folders, the first one winning: $XDG_CONFIG_HOME/comutel/ports (by default
// ~/.config/comutel/ports), then /etc/comutel/ports.
QList<MapFolder> mapFolders();

// Reads nothing but deviceFolder and the map folders given.
PortMap comPorts(const QString &deviceFolder = QStringLiteral("/dev"),
                 const QList<MapFolder> &maps = {});

} // namespace portnames
