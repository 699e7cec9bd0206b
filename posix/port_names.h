// COM numbers on Linux. COM1 to COM4 are the four legacy ports /dev/ttyS0 to /dev/ttyS3, present
// or not; from COM5 on come the USB adapters that exist, ttyUSB before ttyACM, each family counted
// up to its first gap. Users who know the board as COM5 find it there again.
//
// Adapters change numbers with the order they were plugged in, so a user may pin a number the
// way Wine does: a link comN (N from 1 to 30) in a map folder gives COM N the link's target,
// typically a /dev/serial/by-id name. A device so mapped keeps no other number, and the number
// it had stays empty, so that no other device moves and none is tried twice.
#pragma once

#include "core/search_plan.h"

#include <string>
#include <vector>

namespace portnames {

enum class Origin { Default, UserMap, SystemMap };

struct MapFolder
{
    std::string path;
    Origin origin = Origin::UserMap;
};

struct ComPort
{
    std::string device; // empty: no device has this number
    Origin origin = Origin::Default;
    std::string entry; // the map entry that gave the number
};

struct PortMap
{
    std::vector<ComPort> ports;       // element 0 is COM1
    std::vector<std::string> ignored; // one line for each map entry that is not usable
    int pinned = 0;                   // the only number with a device (pinTo), or 0

    ComPort port(int number) const
    {
        return number >= 1 && number <= static_cast<int>(ports.size()) ? ports[number - 1]
                                                                       : ComPort{};
    }
};

// A number past the search would never be tried; a device the map does not number takes the
// search's first.
constexpr int kLastMappable = SearchPlan::kLastPort;
constexpr int kPinnedDefault = SearchPlan::kFirstPort;

// The map folders, the first one winning: $XDG_CONFIG_HOME/comutel/ports (by default
// ~/.config/comutel/ports), then /etc/comutel/ports.
std::vector<MapFolder> mapFolders();

// Reads nothing but deviceFolder and the map folders given.
PortMap comPorts(const std::string &deviceFolder = "/dev", const std::vector<MapFolder> &maps = {});

// Leaves device alone in the map: under the number the map gives the same file, or under
// kPinnedDefault when it has none; every other number loses its device.
void pinTo(PortMap &map, const std::string &device);

// The search this map gives: its pinned number alone, or every number of the search; and the
// lines for what the map folders held that was ignored.
SearchPlan searchPlan(const PortMap &map);

} // namespace portnames
