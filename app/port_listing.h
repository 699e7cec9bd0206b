// `comutel --ports`: each COM number that has a device, where that number came from, and what an
// open would meet there now. The first thing to look at when the board is not found.
#pragma once

#include "qt_comm_port.h"

#include <QStringList>

// One line per number, in number order, in aligned columns; it sends nothing to any port.
QStringList portListing(const QtCommPort::Places &places);
