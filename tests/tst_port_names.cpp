// The COM map on scratch folders: the default numbering, the links of the map folders, and a
// device pinned by COMUTEL_DEVICE.
#include "port_names.h"
#include "scratch_folder.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

// Entries: "name" is a file, "name>target" a link; a target without a slash is a name in the
// device folder. user "=file": the user's map folder is a file. expected: from COM1 on, each
// number's device ("" for none), its folder left out.
struct Row
{
    const char *what;
    Names devices, user, system, expected;
    mode_t userMode = 0700;
    size_t ignored = 0;
    std::string only;
    int pinned = 0;
};

const Names legacy{"ttyS0", "ttyS1", "ttyS2", "ttyS3"}; // present or not

const Row rows[] = {
    {"ttyUSB before ttyACM, each up to its first gap; a dangling link is a gap",
     {"ttyACM0", "ttyACM2", "ttyUSB0", "ttyUSB1>/dev/null", "ttyUSB2>/nowhere", "ttyUSB3"},
     {},
     {},
     {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyUSB0", "ttyUSB1", "ttyACM0"},
     0700,
     0,
     "",
     0},
    // The user's com2 wins over the system's; mapped devices leave their default numbers
    // empty; a link to nothing takes COM4 out; COM9 lies past the default numbers.
    {"map folders",
     {"ttyUSB0", "ttyUSB1"},
     {"com2>ttyUSB1", "com4>missing", "com9>ttyUSB0"},
     {"com2>ttyUSB0"},
     {"ttyS0", "ttyUSB1", "ttyS2", "missing", "", "", "", "", "ttyUSB0"},
     0700,
     0,
     "",
     0},
    {"junk and numbers out of range",
     {"ttyS1"},
     {"com0>ttyS1", "com31>ttyS1", "COM4>ttyS1", "com05>ttyS1", "com5", "notes"},
     {},
     legacy,
     0700,
     6,
     "",
     0},
    {"a folder others can write", {}, {"com2>ttyUSB0"}, {}, legacy, 0777, 1, "", 0},
    {"a map folder that is a file", {}, {"=file"}, {}, legacy, 0700, 1, "", 0},
    {"two links to one device: the lower number keeps it",
     {"ttyUSB0", "by-id>ttyUSB0"},
     {"com3>by-id", "com7>ttyUSB0"},
     {},
     {"ttyS0", "ttyS1", "by-id", "ttyS3", ""},
     0700,
     1,
     "",
     0},
    {"pinned: the number the map gives the same file, through another name",
     {"ttyUSB0", "ttyUSB1", "by-id>ttyUSB1"},
     {"com9>ttyUSB1"},
     {},
     {"", "", "", "", "", "", "", "", "by-id"},
     0700,
     0,
     "by-id",
     9},
    {"pinned: its default number",
     {"ttyUSB0"},
     {},
     {},
     {"", "", "", "", "ttyUSB0"},
     0700,
     0,
     "ttyUSB0",
     5},
    {"pinned: a missing device is COM2", {}, {}, {}, {"", "gone", "", ""}, 0700, 0, "gone", 2},
};

void make(const ScratchFolder &root, const std::string &where, const Names &entries)
{
    for (const std::string &entry : entries) {
        const std::string name = entry.substr(0, entry.find('>'));
        const std::string target =
            entry.find('>') == std::string::npos ? "" : entry.substr(entry.find('>') + 1);
        const std::string full =
            target.find('/') == std::string::npos ? root / "dev/" + target : target;
        REQUIRE((target.empty() ? root.write(where + '/' + name, "")
                                : root.link(full, where + '/' + name)));
    }
}

} // namespace

TEST_CASE("COM numbers from the device folder and the map folders")
{
    for (const Row &row : rows) {
        CAPTURE(row.what);
        ScratchFolder root;
        for (const char *folder : {"dev", "user", "system"})
            REQUIRE(::mkdir((root / folder).c_str(), 0700) == 0);
        make(root, "dev", row.devices);
        if (!row.user.empty() && row.user.front() == "=file")
            REQUIRE((::rmdir((root / "user").c_str()) == 0 && root.write("user", "")));
        else
            make(root, "user", row.user);
        make(root, "system", row.system);
        ::chmod((root / "user").c_str(), row.userMode);

        portnames::PortMap map =
            portnames::comPorts(root / "dev", {{root / "user", portnames::Origin::UserMap},
                                               {root / "system", portnames::Origin::SystemMap}});
        if (!row.only.empty())
            portnames::pinTo(map, root / "dev/" + row.only);
        Names found;
        for (const portnames::ComPort &port : map.ports)
            found.push_back(port.device.substr(port.device.rfind('/') + 1));
        CHECK(found == row.expected);
        CHECK(map.ignored.size() == row.ignored);
        CHECK(map.pinned == row.pinned);
    }
}
