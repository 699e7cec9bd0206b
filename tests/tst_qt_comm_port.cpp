// The real port against pseudo-terminals: each case links a fresh pty as COM2 (ttyS1) in a
// folder of its own and plays the board on the master side.
#include "pseudo_terminal.h"
#include "qt_comm_port.h"
#include "reply_collector.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class TestQtCommPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lineSettingsWhileOpen();
    void bytesWrittenJustBeforeCloseAllArrive();
    void dropsNulBytes();
    void discardsInputWaitingBeforeOpen();
    void gathersSlowAnswerWhole();
    void hangUpClosesPortOnce();
    void explainsDevicesThatWillNotOpen_data();
    void explainsDevicesThatWillNotOpen();

private:
    bool openCom2(QtCommPort &port);
    QtCommPort::Places places() const { return QtCommPort::Places(m_devices->path()); }

    std::unique_ptr<QTemporaryDir> m_devices;
    std::unique_ptr<PseudoTerminal> m_board;
};

void TestQtCommPort::init()
{
    m_devices = std::make_unique<QTemporaryDir>();
    m_board = std::make_unique<PseudoTerminal>();
    QVERIFY(m_board->isValid());
    QVERIFY(QFile::link(m_board->slavePath(), m_devices->filePath("ttyS1")));
}

bool TestQtCommPort::openCom2(QtCommPort &port)
{
    return port.configure(CommSettings{}) && port.setCommPort(2) && port.setPortOpen(true);
}

void TestQtCommPort::lineSettingsWhileOpen()
{
    QtCommPort port(places());
    QVERIFY2(openCom2(port), qPrintable(port.errorString())); // DTR/RTS refused on a pty
    QCOMPARE(port.settings(), QStringLiteral("300,n,8,1"));

    const termios line = m_board->lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B300));
    QCOMPARE(cfgetispeed(&line), speed_t(B300));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO), tcflag_t(0)); // raw: no line editing or echo
}

void TestQtCommPort::bytesWrittenJustBeforeCloseAllArrive()
{
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QByteArray command(512, 'x');
    command[511] = '8';

    QVERIFY(!port.output(command + "9")); // past the output buffer: refused whole
    QVERIFY(port.errorString().contains("512"));
    QVERIFY(port.output(command));
    QVERIFY(port.setPortOpen(false)); // no event loop in between
    QVERIFY(!port.portOpen());
    QCOMPARE(m_board->read(command.size() + 1, std::chrono::milliseconds(500)), command);
}

void TestQtCommPort::dropsNulBytes()
{
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QByteArray received;
    connect(&port, &CommPort::comm, this, [&] { received += port.input(); });

    QVERIFY(m_board->write(QByteArray("A\0B\0\0C\0", 7)));
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("ABC"), 5000);
}

void TestQtCommPort::discardsInputWaitingBeforeOpen()
{
    QVERIFY(m_board->write("stale"));
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QSignalSpy events(&port, &CommPort::comm);

    QVERIFY(m_board->write("1"));
    QVERIFY(events.wait(5000));
    QCOMPARE(port.input(), QByteArray("1"));
}

void TestQtCommPort::gathersSlowAnswerWhole()
{
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    ReplyCollector collector;
    connect(&port, &CommPort::comm, &collector, [&] { collector.add(port.input()); });
    QSignalSpy gathered(&collector, &ReplyCollector::gathered);

    // One byte every 33 ms, as a board at 300 baud sends them.
    const QByteArray answer("0110");
    int sent = 0;
    QTimer pacer;
    pacer.setTimerType(Qt::PreciseTimer);
    connect(&pacer, &QTimer::timeout, this, [&] {
        m_board->write(answer.mid(sent++, 1));
        if (sent == answer.size())
            pacer.stop();
    });
    pacer.start(33);

    QVERIFY(gathered.wait(5000));
    QCOMPARE(gathered.first().first().toByteArray(), answer);
}

void TestQtCommPort::hangUpClosesPortOnce()
{
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QSignalSpy events(&port, &CommPort::comm);

    m_board->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty(), 5000);
    QCOMPARE(events.first().first().value<CommEvent>(), comEvPortLost);
    QVERIFY(!port.portOpen()); // left open, the error would repeat without end
    QTest::qWait(300);
    QCOMPARE(events.size(), 1);
}

void TestQtCommPort::explainsDevicesThatWillNotOpen_data()
{
    QTest::addColumn<QString>("target"); // what ttyS2 (COM3) is; "busy" = the pty, already open
    QTest::addColumn<QString>("problem");

    QTest::newRow("missing") << QString() << QString();
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "não é uma porta serial em funcionamento";
    QTest::newRow("held by another program") << "busy"
                                             << "em uso por outro programa";
}

void TestQtCommPort::explainsDevicesThatWillNotOpen()
{
    QFETCH(QString, target);
    QFETCH(QString, problem);
    QtCommPort holder(places());
    if (target == "busy") {
        QVERIFY(openCom2(holder));
        target = m_board->slavePath();
    }
    if (!target.isEmpty())
        QVERIFY(QFile::link(target, m_devices->filePath("ttyS2")));

    QtCommPort port(places());
    QVERIFY(port.configure(CommSettings{}));
    QVERIFY(port.setCommPort(3));
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    if (problem.isEmpty()) {
        QCOMPARE(port.openProblem(), QString());
    } else {
        QVERIFY2(port.openProblem().contains(problem), qPrintable(port.openProblem()));
        QVERIFY(port.openProblem().startsWith("COM3 (" + m_devices->filePath("ttyS2") + ")"));
    }
}

QTEST_GUILESS_MAIN(TestQtCommPort)
#include "tst_qt_comm_port.moc"
