// The executable without a parameter: the window, drawn offscreen, connected to a board that
// speaks on its own or goes away; and what happens when there is no display at all.
#include "e2e_harness.h"
#include "pseudo_terminal.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The program has set the line up: it has the port open.
bool lineAt300Baud(const PseudoTerminal &board)
{
    const termios line = board.lineSettings();
    return cfgetospeed(&line) == B300;
}

// User plus system CPU time of a process so far, in milliseconds; -1 when it is gone.
qint64 cpuTimeMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticks * 1000 / ::sysconf(_SC_CLK_TCK);
}

} // namespace

class TestE2eWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bytesArrivingOnTheirOwnEndTheProgram();
    void boardVanishesWhileConnected();
    void noDisplay();
};

void TestE2eWindow::initTestCase()
{
    const QString reason = e2e::portsUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
}

void TestE2eWindow::bytesArrivingOnTheirOwnEndTheProgram()
{
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    QVERIFY(comutel.writeLog("1111\r\n"));
    comutel.setEnvironment(e2e::offscreen());
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({});
    QTRY_VERIFY_WITH_TIMEOUT(lineAt300Baud(board), 10000);
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    // Whatever waited on the line before the program opened it is dropped; should these bytes
    // have landed in that instant, the next ones still count.
    bool ended = false;
    for (int attempt = 0; attempt < 3 && !ended; ++attempt) {
        QTest::qWait(200);
        QVERIFY(board.write(QByteArray("OLA\0!", 5)));
        ended = QTest::qWaitFor([&] { return !comutel.isRunning(); }, 3000);
    }
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QCOMPARE(comutel.log(), QByteArray("OLA!\r\n"));
    QCOMPARE(board.readAvailable(), QByteArray()); // window mode sends nothing
}

void TestE2eWindow::boardVanishesWhileConnected()
{
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setEnvironment(e2e::offscreen());
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({});
    QTRY_VERIFY_WITH_TIMEOUT(lineAt300Baud(board), 10000);
    board.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(comutel.standardError().contains("COM 2"), 10000);

    // The window stays up with the port closed, and nothing spins on the dead line: a loop
    // would use most of this second and a half, an idle program next to nothing.
    QVERIFY(comutel.isRunning());
    const qint64 before = cpuTimeMs(comutel.pid());
    QTest::qWait(1500);
    const qint64 after = cpuTimeMs(comutel.pid());
    QVERIFY(before >= 0 && after >= 0);
    QVERIFY2(after - before < 300, qPrintable(QString::number(after - before) + " ms"));
    QVERIFY(comutel.isRunning());
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
}

void TestE2eWindow::noDisplay()
{
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::OpenWatch watch(board.slavePath());
    QVERIFY(watch.isValid());
    e2e::Comutel comutel;
    QVERIFY(comutel.writeLog("1111\r\n"));
    comutel.setPorts({"COM2=" + board.slavePath()}); // headless: no display at all

    comutel.start({});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 3, qPrintable(comutel.outcome()));
    QVERIFY2(comutel.standardError().startsWith("comutel: "), qPrintable(comutel.outcome()));
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    QCOMPARE(watch.opens(), 0);
}

QTEST_GUILESS_MAIN(TestE2eWindow)
#include "tst_e2e_window.moc"
