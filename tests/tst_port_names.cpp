// The COM map on scratch folders: the default numbering and the links of the map folders.
#include "port_names.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestPortNames : public QObject
{
    Q_OBJECT

private slots:
    void comPorts_data();
    void comPorts();
};

void TestPortNames::comPorts_data()
{
    // Entries: "name" is a file, "name>target" a link; a target without a slash is a name in the
    // device folder. expected: from COM1 on, each number's device ("" for none), its folder left
    // out; ignored: how many map entries were left aside.
    for (const char *column : {"devices", "user", "system", "expected"})
        QTest::addColumn<QStringList>(column);
    QTest::addColumn<int>("userMode");
    QTest::addColumn<int>("ignored");
    const QStringList legacy{"ttyS0", "ttyS1", "ttyS2", "ttyS3"}; // present or not

    // ttyUSB before ttyACM, each counted up to its first gap; a link to a device counts, a
    // dangling one is a gap.
    QTest::newRow("default numbering")
        << QStringList{"ttyACM0",           "ttyACM2",          "ttyUSB0",
                       "ttyUSB1>/dev/null", "ttyUSB2>/nowhere", "ttyUSB3"}
        << QStringList{} << QStringList{} << legacy + QStringList{"ttyUSB0", "ttyUSB1", "ttyACM0"}
        << 0700 << 0;
    // The user's com2 wins over the system's; mapped devices leave their default numbers (COM5,
    // COM6) empty; a link to nothing takes COM4 out; COM9 lies past the default numbers.
    QTest::newRow("map folders") << QStringList{"ttyUSB0", "ttyUSB1"}
                                 << QStringList{"com2>ttyUSB1", "com4>missing", "com9>ttyUSB0"}
                                 << QStringList{"com2>ttyUSB0"}
                                 << QStringList{"ttyS0", "ttyUSB1", "ttyS2", "missing", "",
                                                "",      "",        "",      "ttyUSB0"}
                                 << 0700 << 0;
    QTest::newRow("junk and numbers out of range")
        << QStringList{"ttyS1"}
        << QStringList{"com0>ttyS1", "com31>ttyS1", "COM4>ttyS1", "com05>ttyS1", "com5", "notes"}
        << QStringList{} << legacy << 0700 << 6;
    QTest::newRow("a folder others can write")
        << QStringList{} << QStringList{"com2>ttyUSB0"} << QStringList{} << legacy << 0777 << 1;
}

void TestPortNames::comPorts()
{
    QFETCH(QStringList, devices);
    QFETCH(QStringList, user);
    QFETCH(QStringList, system);
    QFETCH(QStringList, expected);
    QFETCH(int, userMode);
    QFETCH(int, ignored);
    QTemporaryDir root;
    QDir folder(root.path());
    QVERIFY(folder.mkdir("dev") && folder.mkdir("user") && folder.mkdir("system"));
    const QString dev = folder.filePath("dev");
    const auto make = [&](const QString &where, const QStringList &entries) {
        for (const QString &entry : entries) {
            const QString path = folder.filePath(where + '/' + entry.section('>', 0, 0));
            const QString target = entry.section('>', 1);
            if (!target.isEmpty())
                QVERIFY(QFile::link(target.contains('/') ? target : dev + '/' + target, path));
            else
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        }
    };
    make("dev", devices);
    make("user", user);
    make("system", system);
    QVERIFY(::chmod(QFile::encodeName(folder.filePath("user")).constData(), userMode) == 0);

    const portnames::PortMap map =
        portnames::comPorts(dev, {{folder.filePath("user"), portnames::Origin::UserMap},
                                  {folder.filePath("system"), portnames::Origin::SystemMap}});
    QStringList found;
    for (const portnames::ComPort &port : map.ports)
        found << QString(port.device).remove(dev + '/');
    QCOMPARE(found, expected);
    QCOMPARE(map.ignored.size(), ignored);
}

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_port_names.moc"
