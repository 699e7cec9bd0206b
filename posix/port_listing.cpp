#include "port_listing.h"

#include "main_window.h"
#include "port_check.h"

#include <QFileInfo>

#include <algorithm>
#include <array>

namespace {

QString originOf(const portnames::ComPort &port)
{
    switch (port.origin) {
    case portnames::Origin::Default:
        return QStringLiteral("padrão");
    case portnames::Origin::UserMap:
        return QStringLiteral("usuário (%1)").arg(port.entry);
    case portnames::Origin::SystemMap:
        return QStringLiteral("sistema (%1)").arg(port.entry);
    }
    return {};
}

} // namespace

QStringList portListing(const portnames::PortMap &map, const QStringList &lockFolders)
{
    QList<std::array<QString, 4>> rows;
    for (int number = 1; number <= map.ports.size(); ++number) {
        const portnames::ComPort port = map.port(number);
        // A mapped number is the user's own doing: shown even when its device is missing.
        if (port.device.isEmpty() ||
            (port.origin == portnames::Origin::Default && !QFileInfo::exists(port.device)))
            continue;
        QString state = portcheck::describe(portcheck::check(port.device, lockFolders));
        if (number < MainWindow::kFirstPort || number > MainWindow::kLastPort)
            state += QStringLiteral(" (fora da busca, que vai de COM%1 a COM%2)")
                         .arg(MainWindow::kFirstPort)
                         .arg(MainWindow::kLastPort);
        rows.push_back({QStringLiteral("COM%1").arg(number), port.device, originOf(port), state});
    }
    std::array<qsizetype, 3> widths{};
    for (const auto &row : std::as_const(rows))
        for (size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    QStringList lines;
    for (const auto &row : std::as_const(rows))
        lines << row[0].leftJustified(widths[0]) + QStringLiteral("  ") +
                     row[1].leftJustified(widths[1]) + QStringLiteral("  ") +
                     row[2].leftJustified(widths[2]) + QStringLiteral("  ") + row[3];
    return lines;
}
