// `comutel --ports`: each COM number that has a device, where that number came from, and what an
// open would meet there now. The first thing to look at when the board is not found.
#pragma once

#include "posix/port_names.h"

#include <string>
#include <vector>

// One line per number of map, in number order, in aligned columns, marking those plan leaves out;
// lockFolders: where other programs leave their lock files. It opens no device and removes no
// lock file.
std::vector<std::string> portListing(const SearchPlan &plan, const portnames::PortMap &map,
                                     const std::vector<std::string> &lockFolders);
