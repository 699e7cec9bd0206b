// COM numbers on Linux. COM1 to COM4 are the four legacy ports /dev/ttyS0 to /dev/ttyS3, present
// or not; from COM5 on come the USB adapters that exist, ttyUSB before ttyACM, each family counted
// up to its first gap. Users who know the board as COM5 find it there again.
#pragma once

#include <QString>
#include <QStringList>

namespace portnames {

// Device paths in COM order: element 0 is COM1.
QStringList comPorts(const QString &deviceFolder = QStringLiteral("/dev"));

} // namespace portnames
