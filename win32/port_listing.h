// "Comutel.exe --ports": the COM ports Windows knows, from the registry's SERIALCOMM map (or,
// where that is missing, the DOS device names), without opening any: an open would raise DTR
// and RTS, which resets some boards. And the search as COMUTEL_DEVICE sets it.
#pragma once

#include "core/search_plan.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ports {

// COM number -> the driver's device name (\Device\Serial0), UTF-8.
std::map<int, std::string> known();
// "COM5" (any case, with or without "\\.\") to 5; nothing for anything else.
std::optional<int> comNumber(const std::string &name);
// The port COMUTEL_DEVICE names, alone, or every number of the search where it is unset. Empty,
// with the line in problem, for a value that names no COM port: nothing may then go to a port
// the user did not mean.
std::optional<SearchPlan> searchPlan(std::string *problem);

} // namespace ports

// One line per port, marking the numbers plan leaves out and the one COMUTEL_DEVICE names.
std::vector<std::string> portListing(const SearchPlan &plan,
                                     const std::map<int, std::string> &ports);
