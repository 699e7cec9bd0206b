#include "port_names.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortNames : public QObject
{
    Q_OBJECT

private slots:
    void comPorts_data();
    void comPorts();
};

void TestPortNames::comPorts_data()
{
    QTest::addColumn<QStringList>("devices"); // "name" is a file, "name>target" a link
    QTest::addColumn<QStringList>("fromCom5");

    QTest::newRow("no adapters") << QStringList{"ttyS0", "ttyS1"} << QStringList{};
    QTest::newRow("USB before ACM")
        << QStringList{"ttyACM0", "ttyUSB0", "ttyUSB1"}
        << QStringList{"ttyUSB0", "ttyUSB1", "ttyACM0"};
    QTest::newRow("a gap ends a family")
        << QStringList{"ttyUSB0", "ttyUSB2", "ttyACM1"} << QStringList{"ttyUSB0"};
    QTest::newRow("a link to a device counts, a dangling one does not")
        << QStringList{"ttyUSB0>/dev/null", "ttyACM0>/nonexistent/device"}
        << QStringList{"ttyUSB0"};
}

void TestPortNames::comPorts()
{
    QFETCH(QStringList, devices);
    QFETCH(QStringList, fromCom5);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString &device : devices) {
        const QStringList parts = device.split(QLatin1Char('>'));
        const QString path = folder.filePath(parts.first());
        if (parts.size() == 2) {
            QVERIFY(QFile::link(parts.last(), path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    const QStringList ports = portnames::comPorts(folder.path());
    QStringList expected;
    for (const char *legacy : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) // present or not
        expected << folder.filePath(QLatin1String(legacy));
    for (const QString &name : fromCom5)
        expected << folder.filePath(name);
    QCOMPARE(ports, expected);
}

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_port_names.moc"
