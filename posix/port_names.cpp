#include "posix/port_names.h"

#include "posix/file_trust.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portnames {

namespace {

constexpr int kLegacyPorts = 4;

bool exists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0; // through links: a dangling one does not count
}

void appendWhileExisting(std::vector<ComPort> &ports, const std::string &deviceFolder,
                         const std::string &family)
{
    for (int n = 0;; ++n) {
        const std::string path = deviceFolder + '/' + family + std::to_string(n);
        if (!exists(path))
            return;
        ports.push_back(ComPort{path, Origin::Default, {}});
    }
}

// "com1" to "com30", without leading zeros; 0 for any other name.
int numberOf(const std::string &name)
{
    if (name.size() < 4 || name.size() > 5 || name.compare(0, 3, "com") != 0 || name[3] == '0' ||
        !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const int number = std::stoi(name.substr(3));
    return number <= kLastMappable ? number : 0;
}

// "/a/./b/../c" as "/a/c", read as text only: --ports shows the map's targets as written.
std::string cleaned(const std::string &path)
{
    std::vector<std::string> parts;
    std::istringstream stream(path);
    for (std::string part; std::getline(stream, part, '/');) {
        if (part == ".." && !parts.empty())
            parts.pop_back();
        else if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
    }
    std::string result;
    for (const std::string &part : parts)
        result += '/' + part;
    return result.empty() ? "/" : result;
}

// The link's target as an absolute path: a relative target counts from the link's folder.
std::string targetOf(const std::string &link)
{
    char buffer[PATH_MAX];
    const ssize_t size = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (size <= 0)
        return {};
    const std::string target(buffer, static_cast<size_t>(size));
    return cleaned(target[0] == '/' ? target : filetrust::folderOf(link) + '/' + target);
}

std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The entries of one map folder by number; what is not a link named com1 to com30 is ignored.
void readMap(const MapFolder &folder, std::map<int, ComPort> &mapped,
             std::vector<std::string> &ignored)
{
    struct stat info;
    if (::stat(folder.path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        ignored.push_back(folder.path + ": ignorado; o mapa de portas deve ser uma pasta");
        return;
    }
    for (const std::string &name : namesIn(folder.path)) {
        const std::string path = folder.path + '/' + name;
        const int number = numberOf(name);
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || number == 0) {
            ignored.push_back(path + ": ignorado; o mapa só aceita links de com1 a com" +
                              std::to_string(kLastMappable));
            continue;
        }
        // comutel may run as root: a number is given only by a link no one else could place.
        if (!filetrust::isTrusted(path)) {
            ignored.push_back(path + ": ignorado; pertence a outro usuário ou está numa pasta "
                                     "que outros podem alterar");
            continue;
        }
        mapped.emplace(number, ComPort{targetOf(path), folder.origin, path});
    }
}

// One device under two numbers would be tried twice: the lower number keeps it.
void dropSecondNumbers(std::map<int, ComPort> &mapped, std::vector<std::string> &ignored)
{
    std::map<std::string, int> numberOfDevice;
    for (auto it = mapped.begin(); it != mapped.end();) {
        const std::string device = filetrust::resolved(it->second.device);
        const auto first = numberOfDevice.emplace(device, it->first);
        if (device.empty() || first.second) {
            ++it;
            continue;
        }
        ignored.push_back(it->second.entry + ": ignorado; o mesmo dispositivo já é COM" +
                          std::to_string(first.first->second));
        it = mapped.erase(it);
    }
}

} // namespace

std::vector<MapFolder> mapFolders()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    std::string config = xdg ? xdg : "";
    if (config.empty() || config[0] != '/')
        config = home && *home ? std::string(home) + "/.config" : std::string();
    std::vector<MapFolder> folders;
    if (!config.empty() && config[0] == '/')
        folders.push_back({config + "/comutel/ports", Origin::UserMap});
    folders.push_back({"/etc/comutel/ports", Origin::SystemMap});
    return folders;
}

PortMap comPorts(const std::string &deviceFolder, const std::vector<MapFolder> &maps)
{
    PortMap map;
    for (int n = 0; n < kLegacyPorts; ++n)
        map.ports.push_back(
            ComPort{deviceFolder + "/ttyS" + std::to_string(n), Origin::Default, {}});
    appendWhileExisting(map.ports, deviceFolder, "ttyUSB");
    appendWhileExisting(map.ports, deviceFolder, "ttyACM");

    std::map<int, ComPort> mapped;
    for (const MapFolder &folder : maps)
        readMap(folder, mapped, map.ignored);
    dropSecondNumbers(mapped, map.ignored);
    std::set<std::string> mappedDevices;
    for (const auto &entry : mapped)
        mappedDevices.insert(filetrust::resolved(entry.second.device));
    mappedDevices.erase(std::string()); // a link to nothing claims no device

    // A mapped device loses the number it had by default; that number stays empty.
    for (ComPort &port : map.ports) {
        if (!mappedDevices.empty() && mappedDevices.count(filetrust::resolved(port.device)))
            port = ComPort{};
    }
    if (!mapped.empty() && mapped.rbegin()->first > static_cast<int>(map.ports.size()))
        map.ports.resize(mapped.rbegin()->first);
    for (const auto &entry : mapped)
        map.ports[entry.first - 1] = entry.second;
    return map;
}

void pinTo(PortMap &map, const std::string &device)
{
    const std::string file = filetrust::resolved(device);
    ComPort pinned{device, Origin::Default, {}};
    int number = kPinnedDefault;
    for (int n = static_cast<int>(map.ports.size()); n >= 1; --n) {
        const ComPort &port = map.ports[n - 1];
        if (!file.empty() && filetrust::resolved(port.device) == file) {
            number = n;
            pinned = ComPort{device, port.origin, port.entry};
        }
    }
    map.ports.assign(std::max<size_t>(map.ports.size(), number), ComPort{});
    map.ports[number - 1] = pinned;
    map.pinned = number;
}

SearchPlan searchPlan(const PortMap &map)
{
    return {map.pinned ? std::optional<int>(map.pinned) : std::nullopt, map.ignored};
}

} // namespace portnames
