// The executable's search for the board over the COM numbers a Linux machine can have: which
// ports it tries, which it takes, and how it ends when none will do.
#include "e2e_harness.h"
#include "pseudo_terminal.h"

#include <QLockFile>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kAdviceFirstLine =
    QStringLiteral("O Windows não pôde detectar a placa controladora.");

// "COMn=BOARD" with the board's device put in.
QStringList withBoard(const QStringList &ports, const QString &board)
{
    QStringList filled;
    for (const QString &port : ports)
        filled << QString(port).replace(QStringLiteral("BOARD"), board);
    return filled;
}

} // namespace

class TestE2eSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noPortAndNoDisplay();
    void boardOnCom1IsNeverTried();
    void firstOfTwoBoardsIsTaken_data();
    void firstOfTwoBoardsIsTaken();
    void boardOnUsbAdapterNumber_data();
    void boardOnUsbAdapterNumber();
    void heldPortIsPassedOver();
    void namesPortsThatWouldNotOpen();
};

void TestE2eSearch::initTestCase()
{
    const QString reason = e2e::portsUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
}

void TestE2eSearch::noPortAndNoDisplay()
{
    // A script on a machine without the board: nobody could see a message box.
    e2e::Comutel comutel;
    QVERIFY(comutel.writeLog("0101\r\n"));
    comutel.start({"E"});

    // The stale answer is gone while the search is still going on, not just at the end.
    QTRY_COMPARE_WITH_TIMEOUT(comutel.log(), QByteArray("-\r\n"), 10000);
    QVERIFY(comutel.isRunning());
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 1, qPrintable(comutel.outcome()));
    // 29 ports at one per 100 ms; only a lower bound, a loaded machine may take longer.
    QVERIFY2(comutel.elapsedMs() >= 2500, qPrintable(comutel.outcome()));
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    QVERIFY2(comutel.standardError().startsWith(kAdviceFirstLine), qPrintable(comutel.outcome()));
}

void TestE2eSearch::boardOnCom1IsNeverTried()
{
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::OpenWatch watch(board.slavePath());
    QVERIFY(watch.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM1=" + board.slavePath()});

    comutel.start({"1"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 1, qPrintable(comutel.outcome()));
    QCOMPARE(watch.opens(), 0);
}

void TestE2eSearch::firstOfTwoBoardsIsTaken_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("COM2 and COM3") << "COM2"
                                   << "COM3";
    QTest::newRow("COM4 and a USB adapter") << "COM4"
                                            << "COM5";
}

void TestE2eSearch::firstOfTwoBoardsIsTaken()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    PseudoTerminal firstBoard;
    PseudoTerminal secondBoard;
    QVERIFY(firstBoard.isValid() && secondBoard.isValid());
    e2e::OpenWatch secondOpens(secondBoard.slavePath());
    e2e::Comutel comutel;
    comutel.setPorts(
        {first + "=" + firstBoard.slavePath(), second + "=" + secondBoard.slavePath()});

    comutel.start({"5"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QCOMPARE(firstBoard.read(2, 500ms), QByteArray("5"));
    QCOMPARE(secondOpens.opens(), 0);
}

void TestE2eSearch::boardOnUsbAdapterNumber_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("ttyUSB0 is COM5") << QStringList{"COM5=BOARD"} << 0;
    QTest::newRow("ttyACM0 is COM5 without ttyUSB") << QStringList{"ttyACM0=BOARD"} << 0;
    QTest::newRow("ttyACM0 comes after ttyUSB0")
        << QStringList{"ttyUSB0=/dev/null", "ttyACM0=BOARD"} << 0;
    QStringList upToCom30;
    for (int n = 5; n < 30; ++n)
        upToCom30 << QStringLiteral("COM%1=/dev/null").arg(n);
    QTest::newRow("COM30, the last one tried") << (upToCom30 << "COM30=BOARD") << 0;
    // Adapters are counted up to the first missing number, as udev hands them out.
    QTest::newRow("ttyUSB1 without ttyUSB0") << QStringList{"ttyUSB1=BOARD"} << 1;
}

void TestE2eSearch::boardOnUsbAdapterNumber()
{
    QFETCH(QStringList, ports);
    QFETCH(int, exitCode);
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts(withBoard(ports, board.slavePath()));

    comutel.start({"1"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == exitCode, qPrintable(comutel.outcome()));
    QCOMPARE(board.read(2, 500ms), exitCode == 0 ? QByteArray("1") : QByteArray());
}

void TestE2eSearch::heldPortIsPassedOver()
{
    // Another program holds COM2 the way serial programs do on Linux: a lock file in /run/lock
    // naming a live process.
    QTemporaryDir locks;
    QLockFile held(locks.filePath("LCK..ttyS1"));
    QVERIFY(held.tryLock(0));
    PseudoTerminal heldBoard;
    PseudoTerminal freeBoard;
    QVERIFY(heldBoard.isValid() && freeBoard.isValid());
    e2e::Comutel comutel;
    comutel.setLockFolder(locks.path());
    comutel.setPorts({"COM2=" + heldBoard.slavePath(), "COM3=" + freeBoard.slavePath()});

    comutel.start({"3"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QCOMPARE(freeBoard.read(2, 500ms), QByteArray("3"));
    QCOMPARE(heldBoard.readAvailable(), QByteArray());
    QVERIFY(held.isLocked()); // and the other program keeps its lock
}

void TestE2eSearch::namesPortsThatWouldNotOpen()
{
    QTemporaryDir locks;
    QLockFile held(locks.filePath("LCK..ttyS1"));
    QVERIFY(held.tryLock(0));
    PseudoTerminal heldBoard;
    QVERIFY(heldBoard.isValid());
    e2e::Comutel comutel;
    comutel.setLockFolder(locks.path());
    comutel.setPorts({"COM2=" + heldBoard.slavePath(), "COM3=/dev/null"});

    comutel.start({"1"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 1, qPrintable(comutel.outcome()));
    const QStringList lines = comutel.standardError().split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 3 && lines.first() == kAdviceFirstLine, qPrintable(comutel.outcome()));
    // After the advice, one line per device that exists but would not open, in COM order.
    QCOMPARE(lines.at(lines.size() - 2),
             QStringLiteral("comutel: COM2 (/dev/ttyS1): em uso por outro programa"));
    QVERIFY2(lines.last().startsWith(
                 "comutel: COM3 (/dev/ttyS2): não é uma porta serial em funcionamento"),
             qPrintable(lines.last()));
    QCOMPARE(heldBoard.readAvailable(), QByteArray());
}

QTEST_GUILESS_MAIN(TestE2eSearch)
#include "tst_e2e_search.moc"
