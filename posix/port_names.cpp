#include "port_names.h"

#include "file_trust.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace portnames {

namespace {

constexpr int kLegacyPorts = 4;

void appendWhileExisting(QList<ComPort> &ports, const QString &deviceFolder, const QString &family)
{
    for (int n = 0;; ++n) {
        const QString path = deviceFolder + QLatin1Char('/') + family + QString::number(n);
        // QFileInfo follows links, so a link to a device counts and a dangling one does not.
        if (!QFileInfo::exists(path))
            return;
        ports << ComPort{path};
    }
}

// The entries of one map folder by number; what is not a link named com1 to com30 is ignored.
void readMap(const MapFolder &folder, QMap<int, ComPort> &mapped, QStringList &ignored)
{
    static const QRegularExpression name(QStringLiteral("^com([1-9][0-9]?)$"));
    const QFileInfoList entries =
        QDir(folder.path)
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (!entry.isSymLink() || number < 1 || number > kLastMappable) {
            ignored << QStringLiteral("%1: ignorado; o mapa só aceita links de com1 a com%2")
                           .arg(entry.filePath())
                           .arg(kLastMappable);
            continue;
        }
        // comutel may run as root: a number is given only by a link no one else could place.
        if (!filetrust::isTrusted(entry.filePath())) {
            ignored << QStringLiteral("%1: ignorado; pertence a outro usuário ou está numa pasta "
                                      "que outros podem alterar")
                           .arg(entry.filePath());
            continue;
        }
        if (!mapped.contains(number))
            mapped.insert(number, ComPort{entry.symLinkTarget(), folder.origin, entry.filePath()});
    }
}

} // namespace

QList<MapFolder> mapFolders()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config) && !qEnvironmentVariableIsEmpty("HOME"))
        config = qEnvironmentVariable("HOME") + QStringLiteral("/.config");
    QList<MapFolder> folders;
    if (QDir::isAbsolutePath(config))
        folders << MapFolder{config + QStringLiteral("/comutel/ports"), Origin::UserMap};
    folders << MapFolder{QStringLiteral("/etc/comutel/ports"), Origin::SystemMap};
    return folders;
}

PortMap comPorts(const QString &deviceFolder, const QList<MapFolder> &maps)
{
    PortMap map;
    for (int n = 0; n < kLegacyPorts; ++n)
        map.ports << ComPort{deviceFolder + QStringLiteral("/ttyS") + QString::number(n)};
    appendWhileExisting(map.ports, deviceFolder, QStringLiteral("ttyUSB"));
    appendWhileExisting(map.ports, deviceFolder, QStringLiteral("ttyACM"));

    QMap<int, ComPort> mapped;
    for (const MapFolder &folder : maps)
        readMap(folder, mapped, map.ignored);
    QSet<QString> mappedDevices;
    for (const ComPort &port : std::as_const(mapped))
        mappedDevices << QFileInfo(port.device).canonicalFilePath();
    mappedDevices.remove(QString()); // a link to nothing claims no device

    // A mapped device loses the number it had by default; that number stays empty.
    for (ComPort &port : map.ports) {
        if (mappedDevices.contains(QFileInfo(port.device).canonicalFilePath()))
            port = ComPort{};
    }
    if (!mapped.isEmpty() && mapped.lastKey() > map.ports.size())
        map.ports.resize(mapped.lastKey());
    for (auto it = mapped.cbegin(); it != mapped.cend(); ++it)
        map.ports[it.key() - 1] = it.value();
    return map;
}

} // namespace portnames
