// Lock files of other serial programs: the pid they name, and which of them keep a port from us.
#include "port_locks.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortLocks : public QObject
{
    Q_OBJECT

private slots:
    void pidIn_data();
    void pidIn();
    void lockFileOn_data();
    void lockFileOn();
};

void TestPortLocks::pidIn_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<qint64>("pid");
    const qint32 binary = 4321;
    QTest::newRow("minicom") << QByteArray("      1234 minicom root\n") << qint64(1234);
    QTest::newRow("four digits, no newline") << QByteArray("1234") << qint64(1234);
    QTest::newRow("binary") << QByteArray(reinterpret_cast<const char *>(&binary), 4)
                            << qint64(4321);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("garbage") << QByteArray("minicom\n") << qint64(0);
    QTest::newRow("zero") << QByteArray("0000000000\n") << qint64(0);
    QTest::newRow("beyond any pid") << QByteArray("99999999999\n") << qint64(0);
}

void TestPortLocks::pidIn()
{
    QFETCH(QByteArray, contents);
    QFETCH(qint64, pid);
    QCOMPARE(portlocks::pidIn(contents), pid);
}

void TestPortLocks::lockFileOn_data()
{
    // The end-to-end tests hold other programs' locks, live and stale; these are the rest.
    QTest::addColumn<QString>("name");     // the lock is LCK..name; ttyS1 is a link to ttyUSB7
    QTest::addColumn<QByteArray>("holds"); // "self": our own pid
    QTest::addColumn<qint64>("busyFor");   // the pid that keeps the port; -1: not busy
    QTest::newRow("under the name of the link's target")
        << "ttyUSB7" << QByteArray("1\n") << qint64(1);
    QTest::newRow("ourselves") << "ttyS1" << QByteArray("self") << qint64(-1);
    QTest::newRow("no pid in it") << "ttyS1" << QByteArray("garbage\n") << qint64(0);
}

void TestPortLocks::lockFileOn()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, holds);
    QFETCH(qint64, busyFor);
    QTemporaryDir devices, locks;
    QFile target(devices.filePath("ttyUSB7"));
    QVERIFY(target.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(target.fileName(), devices.filePath("ttyS1")));
    QFile lock(locks.filePath("LCK.." + name));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(holds == "self" ? QByteArray::number(QCoreApplication::applicationPid()) : holds);
    lock.close();

    const auto found = portlocks::lockFileOn(devices.filePath("ttyS1"), {locks.path()});
    QCOMPARE(found ? found->pid : -1, busyFor);
    QVERIFY(lock.exists()); // none of these is stale
}

QTEST_GUILESS_MAIN(TestPortLocks)
#include "tst_port_locks.moc"
