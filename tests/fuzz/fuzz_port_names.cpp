// A COM map entry, a link's name and target: the name gives a number only when it is com1 to
// com30 as written, else one line ignores it; the device is the target made absolute and normal.
#include "posix/port_names.h"
#include "tests/fuzz/fuzz.h"

#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string> entry = split(std::string(data, data + size), '\0');
    static const std::string map = scratchFolder() + "/ports";
    static const bool made = ::mkdir(map.c_str(), 0700) == 0;
    const std::string link = map + '/' + entry[0];
    if (!made || entry.size() != 2 || entry[0].find('/') != link.npos ||
        ::symlink(entry[1].c_str(), link.c_str()) != 0)
        return -1;
    const portnames::PortMap ports = portnames::comPorts(map + "/dev", {{map}});
    ::unlink(link.c_str());
    int given = 0, number = 0;
    for (int n = 1; n <= portnames::kLastMappable; ++n) {
        given = ports.port(n).entry == link ? n : given;
        number = entry[0] == "com" + std::to_string(n) ? n : number;
    }
    PROPERTY(given == number && ports.ignored.size() == (number ? 0 : 1));
    std::string normal = std::filesystem::path(entry[1][0] == '/' ? entry[1] : map + '/' + entry[1])
                             .lexically_normal();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    PROPERTY(!number || ports.port(number).device == normal);
    return 0;
}
