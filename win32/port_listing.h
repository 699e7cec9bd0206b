// "Comutel.exe --ports": the COM ports Windows knows, from the registry's SERIALCOMM map (or,
// where that is missing, the DOS device names), without opening any: an open would raise DTR
// and RTS, which resets some boards.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ports {

// COM number -> the driver's device name (\Device\Serial0), UTF-8.
std::map<int, std::string> known();
// One line per port, marking the numbers the search skips and the one COMUTEL_DEVICE pins.
std::vector<std::string> listing(const std::map<int, std::string> &ports,
                                 std::optional<int> pinned);
// "COM5" (any case, with or without "\\.\") to 5; nothing for anything else.
std::optional<int> comNumber(const std::string &name);

} // namespace ports
