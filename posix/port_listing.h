// `comutel --ports`: each COM number that has a device, where that number came from, and what an
// open would meet there now. The first thing to look at when the board is not found.
#pragma once

#include "port_names.h"

#include <QStringList>

// One line per number of map, in number order, in aligned columns; lockFolders: where other
// programs leave their lock files. It sends nothing to any port.
QStringList portListing(const portnames::PortMap &map, const QStringList &lockFolders);
