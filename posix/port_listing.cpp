#include "posix/port_listing.h"

#include "posix/port_check.h"

#include <algorithm>
#include <array>

#include <sys/stat.h>

namespace {

std::string originOf(const portnames::ComPort &port)
{
    switch (port.origin) {
    case portnames::Origin::Default:
        return "padrão";
    case portnames::Origin::UserMap:
        return "usuário (" + port.entry + ")";
    case portnames::Origin::SystemMap:
        return "sistema (" + port.entry + ")";
    }
    return {};
}

// Columns line up by characters, not by the bytes of their UTF-8.
size_t widthOf(const std::string &text)
{
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padded(const std::string &text, size_t width)
{
    return text + std::string(width - std::min(width, widthOf(text)), ' ');
}

bool exists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

std::vector<std::string> portListing(const SearchPlan &plan, const portnames::PortMap &map,
                                     const std::vector<std::string> &lockFolders)
{
    std::vector<std::array<std::string, 4>> rows;
    for (int number = 1; number <= static_cast<int>(map.ports.size()); ++number) {
        const portnames::ComPort port = map.port(number);
        const bool pinned = plan.onlyPort == number;
        // A mapped or pinned number is the user's own doing: shown even when its device is
        // missing.
        if (port.device.empty() ||
            (port.origin == portnames::Origin::Default && !pinned && !exists(port.device)))
            continue;
        std::string state = portcheck::describe(portcheck::check(port.device, lockFolders));
        if (!plan.searches(number))
            state += " (fora da busca, que vai de COM" + std::to_string(SearchPlan::kFirstPort) +
                     " a COM" + std::to_string(SearchPlan::kLastPort) + ")";
        const std::string origin = originOf(port) + (pinned ? ", só esta (COMUTEL_DEVICE)" : "");
        rows.push_back({"COM" + std::to_string(number), port.device, origin, state});
    }
    std::array<size_t, 3> widths{};
    for (const auto &row : rows)
        for (size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], widthOf(row[column]));
    std::vector<std::string> lines;
    for (const auto &row : rows)
        lines.push_back(padded(row[0], widths[0]) + "  " + padded(row[1], widths[1]) + "  " +
                        padded(row[2], widths[2]) + "  " + row[3]);
    return lines;
}
