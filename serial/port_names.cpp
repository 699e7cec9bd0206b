#include "port_names.h"

#include <QFileInfo>

namespace portnames {

namespace {

constexpr int kLegacyPorts = 4;

void appendWhileExisting(QStringList &ports, const QString &deviceFolder, const QString &family)
{
    for (int n = 0;; ++n) {
        const QString path = deviceFolder + QLatin1Char('/') + family + QString::number(n);
        // QFileInfo follows links, so a link to a device counts and a dangling one does not.
        if (!QFileInfo::exists(path))
            return;
        ports << path;
    }
}

} // namespace

QStringList comPorts(const QString &deviceFolder)
{
    QStringList ports;
    for (int n = 0; n < kLegacyPorts; ++n)
        ports << deviceFolder + QStringLiteral("/ttyS") + QString::number(n);
    appendWhileExisting(ports, deviceFolder, QStringLiteral("ttyUSB"));
    appendWhileExisting(ports, deviceFolder, QStringLiteral("ttyACM"));
    return ports;
}

} // namespace portnames
