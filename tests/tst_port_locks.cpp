// Lock files of other serial programs: the pid they name, and which of them keep a port from us.
#include "port_locks.h"

#include <QFile>
#include <QProcess>
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
    QTest::newRow("bare pid") << QByteArray("1234\n") << qint64(1234);
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
    QTest::addColumn<QString>("name");   // the lock is LCK..name; ttyS1 is a link to ttyUSB7
    QTest::addColumn<QString>("holder"); // whose pid it holds
    QTest::addColumn<bool>("busy");
    QTest::newRow("another live program") << "ttyS1"
                                          << "live" << true;
    QTest::newRow("under the name of the link's target") << "ttyUSB7"
                                                         << "live" << true;
    QTest::newRow("ourselves") << "ttyS1"
                               << "self" << false;
    QTest::newRow("a process that has ended") << "ttyS1"
                                              << "ended" << false;
    QTest::newRow("no pid in it") << "ttyS1"
                                  << "garbage" << true;
}

void TestPortLocks::lockFileOn()
{
    QFETCH(QString, name);
    QFETCH(QString, holder);
    QFETCH(bool, busy);
    QTemporaryDir devices, locks;
    QFile target(devices.filePath("ttyUSB7"));
    QVERIFY(target.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(target.fileName(), devices.filePath("ttyS1")));
    qint64 pid = holder == "self" ? QCoreApplication::applicationPid() : 1; // init lives on
    if (holder == "ended") {
        QProcess ended;
        ended.start("true");
        QVERIFY(ended.waitForStarted());
        pid = ended.processId();
        QVERIFY(ended.waitForFinished());
    }
    QFile lock(locks.filePath("LCK.." + name));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(holder == "garbage" ? "garbage\n"
                                   : QByteArray::number(pid).rightJustified(10) + " x\n");
    lock.close();

    const auto found = portlocks::lockFileOn(devices.filePath("ttyS1"), {locks.path()});
    QCOMPARE(found.has_value(), busy);
    if (busy)
        QCOMPARE(found->pid, holder == "garbage" ? 0 : pid);
    QCOMPARE(lock.exists(), holder != "ended"); // only a stale lock is ever removed
}

QTEST_GUILESS_MAIN(TestPortLocks)
#include "tst_port_locks.moc"
