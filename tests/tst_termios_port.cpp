// The real port against pseudo-terminals: each case links a fresh pty as COM2 (ttyS1) in a
// folder of its own and plays the board on the master side.
#include "pseudo_terminal.h"
#include "qt_comm_port.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestQtCommPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lineWhileOpenAndBytesBeforeClose();
    void inputIsWhatCameAfterTheOpenWithoutNuls();
    void hangUpClosesPortOnce();

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

void TestQtCommPort::lineWhileOpenAndBytesBeforeClose()
{
    QtCommPort port(places());
    QVERIFY2(openCom2(port), qPrintable(port.errorString())); // DTR/RTS refused on a pty
    QCOMPARE(port.settings(), QStringLiteral("300,n,8,1"));

    const termios line = m_board->lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B300));
    QCOMPARE(cfgetispeed(&line), speed_t(B300));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8)); // 8N1, no RTS/CTS
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO), tcflag_t(0)); // raw: no line editing or echo

    // What is written just before the close all arrives, and what would overflow is refused.
    QByteArray command(512, 'x');
    command[511] = '8';

    QVERIFY(!port.output(command + "9")); // past the output buffer: refused whole
    QVERIFY(port.errorString().contains("512"));
    QVERIFY(port.output(command));
    QVERIFY(port.setPortOpen(false)); // no event loop in between
    QVERIFY(!port.portOpen());
    QCOMPARE(m_board->read(command.size() + 1, std::chrono::milliseconds(500)), command);
}

void TestQtCommPort::inputIsWhatCameAfterTheOpenWithoutNuls()
{
    QVERIFY(m_board->write("stale")); // waiting before the open: no answer to our command
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QByteArray received;
    connect(&port, &CommPort::comm, this, [&] { received += port.input(); });

    QVERIFY(m_board->write(QByteArray("A\0B\0\0C\0", 7)));
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("ABC"), 5000);
}

void TestQtCommPort::hangUpClosesPortOnce()
{
    QtCommPort port(places());
    QVERIFY(openCom2(port));
    QSignalSpy events(&port, &CommPort::comm);
    m_board->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty(), 5000);
    QCOMPARE(events.first().first().value<CommEvent>(), comEvPortLost);
    QVERIFY(!port.portOpen()); // left open, the error would come again and again
    QTest::qWait(300);
    QCOMPARE(events.size(), 1);
}

QTEST_GUILESS_MAIN(TestQtCommPort)
#include "tst_qt_comm_port.moc"
