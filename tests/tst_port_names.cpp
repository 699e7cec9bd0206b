// The COM map on scratch folders: the default numbering, the links of the map folders, and a
// device pinned by COMUTEL_DEVICE.
#include "posix/port_names.h"
#include "tests/scratch_folder.h"

#include <doctest/doctest.h>

#include <sstream>

namespace {

std::vector<std::string> words(const std::string &text)
{
    std::istringstream stream(text);
    std::vector<std::string> list;
    for (std::string word; stream >> word;)
        list.push_back(word == "-" ? "" : word);
    return list;
}

// Entries: "name" is a file, "name>target" a link, a target without a slash being a relative
// link into the device folder; user "=file": the user's map folder is a file. expected: from COM1
// on, each number's device name, "-" for none. only: the device pinned, pinned: its number.
struct Row
{
    const char *what, *devices, *user, *system, *expected;
    mode_t userMode;
    size_t ignored;
    const char *only;
    int pinned;
};

// clang-format off
const Row rows[] = {
    {"ttyUSB before ttyACM, each up to its first gap; a dangling link is a gap",
     "ttyACM0 ttyACM2 ttyUSB0 ttyUSB1>/dev/null ttyUSB2>/nowhere ttyUSB3", "", "",
     "ttyS0 ttyS1 ttyS2 ttyS3 ttyUSB0 ttyUSB1 ttyACM0", 0700, 0, "", 0},
    // The user's com2 wins over the system's; mapped devices leave their default numbers empty;
    // a link to nothing takes COM4 out; COM9 lies past the default numbers.
    {"map folders", "ttyUSB0 ttyUSB1", "com2>ttyUSB1 com4>missing com9>ttyUSB0", "com2>ttyUSB0",
     "ttyS0 ttyUSB1 ttyS2 missing - - - - ttyUSB0", 0700, 0, "", 0},
     {"junk and numbers out of range", "ttyS1",
     "com0>ttyS1 com31>ttyS1 COM4>ttyS1 com05>ttyS1 com5 notes",
     "", "ttyS0 ttyS1 ttyS2 ttyS3", 0700, 6, "", 0},
     {"a folder others can write", "", "com2>ttyUSB0", "", "ttyS0 ttyS1 ttyS2 ttyS3", 0777, 1, "",
     0},
    {"a map folder that is a file", "", "=file", "", "ttyS0 ttyS1 ttyS2 ttyS3", 0700, 1, "", 0},
    {"two links to one device: the lower number keeps it", "ttyUSB0 by-id>ttyUSB0",
     "com3>by-id com7>ttyUSB0", "", "ttyS0 ttyS1 by-id ttyS3 -", 0700, 1, "", 0},
     {"pinned: the number the map gives the same file by another name",
     "ttyUSB0 ttyUSB1 by-id>ttyUSB1",
     "com9>ttyUSB1", "", "- - - - - - - - by-id", 0700, 0, "by-id", 9},
    {"pinned: its default number", "ttyUSB0", "", "", "- - - - ttyUSB0", 0700, 0, "ttyUSB0", 5},
    {"pinned: a missing device is COM2", "", "", "", "- gone - -", 0700, 0, "gone", 2},
};
// clang-format on

void make(const ScratchFolder &root, const std::string &where, const char *entries)
{
    for (const std::string &entry : words(entries)) {
        const size_t arrow = entry.find('>');
        const std::string path = where + '/' + entry.substr(0, arrow);
        const std::string target = arrow == std::string::npos ? "" : entry.substr(arrow + 1);
        if (target.empty())
            REQUIRE(root.write(path, ""));
        else
            REQUIRE(root.link(target[0] == '/' ? target : "../dev/./" + target, path));
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
        if (std::string(row.user) == "=file")
            REQUIRE((::rmdir((root / "user").c_str()) == 0 && root.write("user", "")));
        else
            make(root, "user", row.user);
        make(root, "system", row.system);
        ::chmod((root / "user").c_str(), row.userMode);

        portnames::PortMap map =
            portnames::comPorts(root / "dev", {{root / "user", portnames::Origin::UserMap},
                                               {root / "system", portnames::Origin::SystemMap}});
        if (*row.only)
            portnames::pinTo(map, root / "dev/" + row.only);
        std::vector<std::string> found;
        for (const portnames::ComPort &port : map.ports)
            found.push_back(port.device.rfind(root / "dev/", 0) == 0
                                ? port.device.substr(root.path.size() + 5)
                                : port.device);
        CHECK(found == words(row.expected));
        CHECK(map.ignored.size() == row.ignored);
        CHECK(map.pinned == row.pinned);
    }
}
