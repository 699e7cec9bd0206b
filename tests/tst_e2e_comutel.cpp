// The executable as built, run the way a script runs it: its own copy in a fresh folder (log.txt
// lies beside it), in a private /dev from tools/with-ports.sh that holds only the ports a case
// names, against tools/relay_sim or bare pseudo-terminals.
#include "pseudo_terminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kWithPorts = QStringLiteral(COMUTEL_TOOLS_DIR "/with-ports.sh");
const QByteArray kStale = "1010\r\n"; // an answer left by an earlier run
const QString kAdvice = QStringLiteral("^O Windows não pôde detectar a placa controladora\\.\n");

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

// Tells whether a device was opened, so a case can prove a port was left alone.
class OpenWatch
{
public:
    explicit OpenWatch(const QString &path)
    {
        m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
    }
    ~OpenWatch() { ::close(m_fd); }
    bool isValid() const { return m_watch >= 0; }
    bool opened() const
    {
        char events[4096];
        return ::read(m_fd, events, sizeof events) > 0;
    }

private:
    const int m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    int m_watch = -1;
};

// A child process that ends with the case, however the case ends.
struct Child : QProcess
{
    ~Child() override
    {
        if (state() != NotRunning) {
            kill();
            waitForFinished();
        }
    }
};

bool lineAt300Baud(const PseudoTerminal &board) // that is, the program has the port open
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
    const QByteArray text = stat.readAll(); // the command name, in parentheses, may hold spaces
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13 ? -1
                              : (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 /
                                    ::sysconf(_SC_CLK_TCK);
}

// One run of the program, with its own copy and so its own log.txt.
struct Comutel
{
    QTemporaryDir folder;
    Child process;
    QElapsedTimer clock;

    QString path(const QString &name) const { return folder.filePath(name); }
    QByteArray log() const
    {
        QFile file(path("log.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>";
    }
    // Its copy with its window module, and a stale log.txt (or a folder in its place, which defeats even root).
    bool prepare(bool logIsFolder = false)
    {
        QFile log(path("log.txt"));
        return QFile::copy(QStringLiteral(COMUTEL_EXECUTABLE), path("comutel")) &&
               QFile::copy(QStringLiteral(COMUTEL_WINDOW_MODULE), path("comutel-window.so")) &&
               (logIsFolder ? QDir(folder.path()).mkdir("log.txt")
                            : log.open(QIODevice::WriteOnly) && log.write(kStale) == kStale.size());
    }
    // Without a display unless offscreen; locks: the serial lock folder the program sees.
    void start(const QStringList &ports, const QStringList &arguments, bool offscreen = false,
               const QString &locks = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        if (offscreen)
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        QStringList command{kWithPorts};
        if (!locks.isEmpty())
            command << "--locks" << locks;
        process.start("bash", command << ports << "--" << path("comutel") << arguments);
        clock.start();
    }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // The exit status; -1 after a crash, or when it was still running after a generous minute.
    int finish()
    {
        const bool ended = process.waitForFinished(60000) || !isRunning();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString stderrText() { return QString::fromUtf8(process.readAllStandardError()); }
};

void row(const char *name, const QStringList &ports, const QStringList &simOptions,
         const QStringList &arguments, int status, const QString &log, const QString &stderrText,
         const QByteArray &heard)
{
    QTest::newRow(name) << ports << simOptions << arguments << status << log << stderrText << heard;
}

} // namespace

class TestE2eComutel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void noBoardAndNoDisplay();
    void logThatCannotBeWritten();
    void windowLogsBytesArrivingOnTheirOwn();
    void windowOutlivesItsBoard();
};

void TestE2eComutel::initTestCase()
{
    QProcess probe;
    probe.start("bash", {kWithPorts, "--", "true"});
    QVERIFY(probe.waitForFinished(30000));
    if (probe.exitCode() == 77) // with-ports.sh: no private /dev can be made here
        QSKIP(qPrintable(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
    QCOMPARE(probe.exitCode(), 0);
}

void TestE2eComutel::run_data()
{
    // Ports: COMn=SIM is relay_sim, run with simOptions; PTY a bare board; IDLE a port that must
    // never be opened; COM2=HELD a port locked by another program. Stderr and the whole log.txt
    // are patterns; heard is what PTY received, or the relay changes SIM reported.
    for (const char *name : {"ports", "simOptions", "arguments"})
        QTest::addColumn<QStringList>(name);
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<QByteArray>("heard");
    const QStringList com2Sim{"COM2=SIM"}, com2Pty{"COM2=PTY"}, e{"E"};
    row("switches a relay", com2Sim, {}, {"1"}, 0, "-\r\n", "^$", "relé 1 ligado\n");
    row("answer in pieces", com2Sim, {}, e, 0, "0000\r\n", "^$", "");
    row("answer with NULs", com2Sim, {"--nul"}, e, 0, "0000\r\n", "^$", "");
    row("answer late, in time", com2Sim, {"--late=150"}, e, 0, "0000\r\n", "^$", "");
    row("answer too late", com2Sim, {"--late=1500"}, e, 2, "-\r\n", "^comutel: ", "");
    row("no answer", com2Sim, {"--silent"}, e, 2, "-\r\n", "^comutel: ", "");
    row("board vanishes", com2Sim, {"--hang-up"}, e, 2, "-\r\n", "^comutel: .*COM 2", "");
    row("endless, 300 baud", com2Sim, {"--chatter"}, e, 0, "\\d{2,1023}\r\n", "^$", "");
    row("endless, full speed", com2Sim, {"--chatter", "--pace=0"}, e, 0, "\\d{1024}\r\n", "^$", "");
    row("toolkit option", com2Pty, {}, {"-reverse"}, 0, "-\r\n", "^$", "-REVERSE");
    row("words joined", com2Pty, {}, {"-platform", "xcb"}, 0, "-\r\n", "^$", "-PLATFORM XCB");
    row("ISO 8859-1", com2Pty, {}, {"ação", "x€"}, 0, "-\r\n", "^$", "A\xC7\xC3O X?");
    row("COM1 never tried", {"COM1=IDLE"}, {}, {"1"}, 1, "-\r\n", kAdvice, "");
    row("lower of two boards", {"COM4=PTY", "COM5=IDLE"}, {}, {"5"}, 0, "-\r\n", "^$", "5");
    row("COM5 is ttyUSB0", {"COM5=PTY"}, {}, {"1"}, 0, "-\r\n", "^$", "1");
    row("ttyACM after ttyUSB", {"COM5=/dev/null", "ttyACM0=PTY"}, {}, {"1"}, 0, "-\r\n", "^$", "1");
    row("held port passed over", {"COM2=HELD", "COM3=PTY"}, {}, {"3"}, 0, "-\r\n", "^$", "3");
    row("held port named", {"COM2=HELD", "COM3=/dev/null"}, {}, {"1"}, 1, "-\r\n",
        kAdvice + ".*\ncomutel: COM2 \\(/dev/ttyS1\\): em uso por outro programa\n"
                  "comutel: COM3 \\(/dev/ttyS2\\): não é uma porta serial",
        "");
    row("window, no display", {"COM2=IDLE"}, {}, {}, 3, "-\r\n", "^comutel: [^\n]*\n$", "");
    row("--help", {"COM2=IDLE"}, {}, {"--help"}, 0, kStale, "^$", "");
}

void TestE2eComutel::run()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, simOptions);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, log);
    QFETCH(QString, stderrText);
    QFETCH(QByteArray, heard);
    Child sim;
    sim.start(QStringLiteral(COMUTEL_RELAY_SIM), simOptions);
    QVERIFY(sim.waitForReadyRead(10000)); // its first line names its port
    const QString simPort = QString::fromLocal8Bit(sim.readLine()).trimmed();
    PseudoTerminal board, idle;
    QVERIFY(!simPort.isEmpty() && board.isValid() && idle.isValid());
    OpenWatch idleWatch(idle.slavePath());
    QVERIFY(idleWatch.isValid());
    QTemporaryDir locks;
    QLockFile held(locks.filePath("LCK..ttyS1")); // COM2's lock, as serial programs take it
    QVERIFY(held.tryLock(0));
    const bool usesHeld = ports.contains("COM2=HELD"), usesSim = ports.contains("COM2=SIM");
    for (QString &port : ports)
        port.replace("=SIM", "=" + simPort)
            .replace("=PTY", "=" + board.slavePath())
            .replace(QRegularExpression("=(IDLE|HELD)$"), "=" + idle.slavePath());

    Comutel comutel;
    QVERIFY(comutel.prepare());
    comutel.start(ports, arguments, false, usesHeld ? locks.path() : QString());
    const int exitStatus = comutel.finish();
    const QString said = comutel.stderrText();
    QVERIFY2(exitStatus == status, qPrintable(QString("exit %1; %2").arg(exitStatus).arg(said)));
    QVERIFY2(matches(QRegularExpression::anchoredPattern(log), QString::fromLatin1(comutel.log())),
             comutel.log().left(80).constData());
    QVERIFY2(matches(stderrText, said), qPrintable(said));
    if (usesSim) {
        QByteArray changes;
        QTRY_COMPARE_WITH_TIMEOUT(changes += sim.readAllStandardOutput(), heard, 10000);
    } else {
        QCOMPARE(board.read(heard.size() + 1, 500ms), heard);
    }
    QCOMPARE(idle.readAvailable(), QByteArray());
    if (!usesHeld) // a held port may be opened to find its lock
        QVERIFY(!idleWatch.opened());
}

void TestE2eComutel::noBoardAndNoDisplay()
{
    Comutel comutel;
    QVERIFY(comutel.prepare());
    comutel.start({}, {"E"});
    // The stale answer goes before the search, not at its end.
    QTRY_COMPARE_WITH_TIMEOUT(comutel.log(), QByteArray("-\r\n"), 10000);
    QVERIFY(comutel.isRunning());
    QCOMPARE(comutel.finish(), 1);
    // COM2 to COM30 at one per 100 ms; only a lower bound, as a loaded machine takes longer.
    QVERIFY2(comutel.clock.elapsed() >= 2500, qPrintable(QString::number(comutel.clock.elapsed())));
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    const QString said = comutel.stderrText();
    QVERIFY2(matches(kAdvice, said), qPrintable(said));
}

void TestE2eComutel::logThatCannotBeWritten()
{
    PseudoTerminal board;
    OpenWatch watch(board.slavePath());
    QVERIFY(board.isValid() && watch.isValid());
    Comutel comutel;
    QVERIFY(comutel.prepare(true));
    comutel.start({"COM2=" + board.slavePath()}, {"1"});
    QCOMPARE(comutel.finish(), 3);
    const QString said = comutel.stderrText();
    QVERIFY2(said.startsWith("comutel: ") && said.contains(comutel.path("log.txt")),
             qPrintable(said));
    QVERIFY(!watch.opened()); // no port is touched without a log
}

// Window mode, offscreen, with board on COM2; returns once the program holds the line open.
static void startConnectedWindow(PseudoTerminal &board, Comutel &comutel)
{
    QVERIFY(board.isValid());
    QVERIFY(comutel.prepare());
    comutel.start({"COM2=" + board.slavePath()}, {}, true);
    QTRY_VERIFY_WITH_TIMEOUT(lineAt300Baud(board), 10000);
}

void TestE2eComutel::windowLogsBytesArrivingOnTheirOwn()
{
    PseudoTerminal board;
    Comutel comutel;
    startConnectedWindow(board, comutel);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    // Bytes waiting before the open are dropped; should these land in that instant, send again.
    for (int attempt = 0; attempt < 3 && comutel.isRunning(); ++attempt) {
        QTest::qWait(200);
        QVERIFY(board.write(QByteArray("OLA\0!", 5)));
        comutel.process.waitForFinished(3000);
    }
    QCOMPARE(comutel.finish(), 0);
    QCOMPARE(comutel.log(), QByteArray("OLA!\r\n"));
    QCOMPARE(board.readAvailable(), QByteArray()); // window mode sends nothing
}

void TestE2eComutel::windowOutlivesItsBoard()
{
    PseudoTerminal board;
    Comutel comutel;
    startConnectedWindow(board, comutel);
    if (QTest::currentTestFailed())
        return;
    board.hangUp();
    QString said;
    QTRY_VERIFY_WITH_TIMEOUT((said += comutel.stderrText()).contains("COM 2"), 10000);
    // It stays up and idle: a loop on the dead line would take most of this second and a half.
    const qint64 before = cpuTimeMs(comutel.process.processId());
    QTest::qWait(1500);
    const qint64 after = cpuTimeMs(comutel.process.processId());
    QVERIFY2(before >= 0 && after - before < 300, qPrintable(QString::number(after - before)));
    QVERIFY(comutel.isRunning());
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
}

QTEST_GUILESS_MAIN(TestE2eComutel)
#include "tst_e2e_comutel.moc"
