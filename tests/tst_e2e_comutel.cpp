// The executable as built, run the way a script runs it (tests/e2e_harness.h): the table of what a
// script sees, a window that ends, and runs that share a machine, a log or a port.
#include "tests/e2e_harness.h"
#include "tests/skip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <tuple>
#include <vector>

#include <csignal>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace e2e;

const QString kAdvice = QStringLiteral("^O Windows não pôde detectar a placa controladora\\.\n");

// One case of run(). ports: COMn=SIM is relay_sim, run with simOptions; PTY a bare board; IDLE a
// port that must never be opened; comN=... a link in the user's COM map. Standard error and the
// whole log.txt are patterns; standard output must hold the logged answer and a newline. heard:
// what PTY received, or the relay changes SIM reported. lock: what LCK..ttyS1 (COM2's lock file)
// holds, as writeLock takes it; redirect: as Comutel::start takes it; environment: NAME=VALUE.
struct Case
{
    QStringList ports, simOptions, arguments;
    int status;
    QString log, stderrText;
    QByteArray heard;
    QString lock = {}, redirect = {};
    QStringList environment = {};
};

// Writes COM2's lock file in folder: "binary" our (a live) pid in four bytes; "planted" garbage, a
// minute old; "forged" our pid, root's, in a file of nobody's. Returns its contents.
QByteArray writeLock(const QString &folder, const QString &lock)
{
    const qint32 pid = qint32(QCoreApplication::applicationPid());
    const QByteArray contents =
        lock == "binary"    ? QByteArray(reinterpret_cast<const char *>(&pid), 4)
        : lock == "planted" ? QByteArray("planted\n")
                            : QByteArray::number(pid).rightJustified(10) + '\n';
    QFile file(folder + "/LCK..ttyS1");
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(contents) == contents.size() &&
        (lock != "planted" || file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                               QFileDevice::FileModificationTime)) &&
        (lock != "forged" || ::fchown(file.handle(), 65534, 65534) == 0);
    return written ? contents : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestE2eComutel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void windowEndsOnBytesOrWithItsDisplay();
    void portsOpensNoDevice();
    void sharedMachine();
    void overlappingQueriesEachReadTheirOwnAnswer();
    void endedBySignalLeavesNoLock();

private:
    QTemporaryDir m_locales; // an ISO 8859-15 locale of our own, whatever the machine has
};

void TestE2eComutel::initTestCase()
{
    QProcess probe;
    probe.start("bash", {kWithPorts, "--", "true"});
    QVERIFY(probe.waitForFinished(30000));
    if (probe.exitCode() == 77) // with-ports.sh: no private /dev can be made here
        COMUTEL_SKIP(qPrintable(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QProcess::execute("sh", {"-c", "localedef -i pt_BR -f ISO-8859-15 \"$0\" >/dev/null",
                                      m_locales.filePath("pt_BR.ISO-8859-15")}),
             0);
}

void TestE2eComutel::run_data()
{
    QTest::addColumn<Case>("c");
    const auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };
    const QStringList com2Sim{"COM2=SIM"}, com2Pty{"COM2=PTY"}, e{"E"};
    // clang-format off
    row("switches a relay", {com2Sim, {}, {"1"}, 0, "-\r\n", "^$", "relé 1 ligado\n"});
    row("board vanishes", {com2Sim, {"--hang-up"}, e, 2, "-\r\n",
        "^comutel: a porta COM 2 deixou de responder: [^\n]*\n$", ""}); // at once: no time-out
    row("standard output closed", {com2Sim, {}, e, 0, "0000\r\n", "^$", "", {}, ">&-"});
    row("standard output broken", {com2Sim, {}, e, 0, "0000\r\n", "^$", "", {}, "%1 | true"});
    // Not UTF-8: read as the locale's 8-bit set, or as ISO 8859-1 where it has none.
    for (const char *locale : {"LC_ALL=C", "LC_ALL=C.UTF-8"})
        row(locale, {com2Pty, {}, {}, 0, "-\r\n", "^$", "\xC9", {}, "$'\\xe9'", {locale}});
    // An 8-bit locale's own set: the euro, and œ upper-cased to Œ.
    row("ISO 8859-15", {com2Pty, {}, {}, 0, "-\r\n", "^$", "1\xA4\xC9\xBC", {},
        "$'1\\xa4\\xe9\\xbd'", {"LC_ALL=pt_BR.ISO-8859-15", "LOCPATH=" + m_locales.path()}});
    row("locked port named", {{"COM2=IDLE", "COM3=/dev/null"}, {}, {"1"}, 1, "-\r\n",
        kAdvice + ".*\ncomutel: COM2 \\(/dev/ttyS1\\): em uso por outro programa \\(PID \\d+\\)\n"
        "comutel: COM3 \\(/dev/ttyS2\\): não é uma porta serial[^\n]*\n[^\n]*--ports[^\n]*\n$",
        "", "binary"});
    // Stale: root removes them, and names the forged one. Nothing reaches COM3.
    row("planted lock, a minute old",
        {{"COM2=PTY", "COM3=IDLE"}, {}, {"1"}, 0, "-\r\n", "^$", "1", "planted"});
    row("forged lock", {{"COM2=PTY", "COM3=IDLE"}, {}, {"1"}, 0, "-\r\n",
        "^comutel: COM2 \\(/dev/ttyS1\\): trava falsa ignorada: /run/lock/LCK\\.\\.ttyS1 é de "
        "nobody, mas nomeia o PID \\d+, de root\n$", "1", "forged"});
    row("board mapped to COM2, an entry ignored", {{"COM2=IDLE", "com2=PTY", "com3"}, {}, {"1"},
        0, "-\r\n", "^comutel: [^\n]*/comutel/ports/com3: ignorado[^\n]*\n$", "1"});
    // The user's device alone: nothing ever goes to another port.
    row("chosen device missing", {{"COM2=IDLE"}, {}, {"1"}, 1, "-\r\n",
        kAdvice + ".*\ncomutel: COM2 \\(/dev/serial/by-id/usb-board\\): dispositivo ausente\n", "",
        {}, {}, {"COMUTEL_DEVICE=/dev/serial/by-id/usb-board"}});
    row("chosen device found", {{"COM2=IDLE", "ttyACM0=PTY"}, {}, {"1"}, 0, "-\r\n", "^$", "1", {},
        {}, {"COMUTEL_DEVICE=/dev/ttyACM0"}});
    row("window, no display", {{"COM2=IDLE"}, {}, {}, 3, "-\r\n", "^comutel: [^\n]*\n$", ""});
    row("--help", {{"COM2=IDLE"}, {}, {"--help"}, 0, kStale, "^$", ""});
    row("--help, output full", {{"COM2=IDLE"}, {}, {"--help"}, 3, kStale,
        "^comutel: não foi possível escrever na saída padrão: [^\n]*\n$", "", {}, ">/dev/full"});
    // clang-format on
}

void TestE2eComutel::run()
{
    QFETCH(Case, c);
    Child sim;
    const QString simPort = startBoard(sim, c.simOptions);
    Pty board, idle;
    QVERIFY(!simPort.isEmpty() && board.valid && idle.valid);
    OpenWatch idleWatch(idle.path());
    QVERIFY(idleWatch.watch >= 0);
    QTemporaryDir locks;
    const QByteArray lockContents =
        c.lock.isEmpty() ? QByteArray() : writeLock(locks.path(), c.lock);
    QVERIFY(c.lock.isEmpty() || !lockContents.isEmpty());
    const bool usesSim = c.ports.contains("COM2=SIM");
    for (QString &port : c.ports)
        port.replace("=SIM", "=" + simPort)
            .replace("=PTY", "=" + board.path())
            .replace("=IDLE", "=" + idle.path());

    Comutel comutel;
    QVERIFY(comutel.prepare());
    for (const QString &port : c.ports.filter(QRegularExpression("^com\\d")))
        QVERIFY(comutel.map(port.section('=', 0, 0), port.section('=', 1)));
    c.ports.removeIf([](const QString &port) { return port.startsWith("com"); });
    comutel.environment = c.environment;
    comutel.start(c.ports, c.arguments, false, locks.path(), c.redirect);
    const int exitStatus = comutel.finish();
    const QString said = comutel.stderrText();
    QVERIFY2(exitStatus == c.status, qPrintable(QString("exit %1; %2").arg(exitStatus).arg(said)));
    const QByteArray logged = comutel.log();
    QVERIFY2(matches(QRegularExpression::anchoredPattern(c.log), QString::fromLatin1(logged)),
             logged.left(80).constData());
    QVERIFY2(matches(c.stderrText, said), qPrintable(said));
    const QByteArray printed = comutel.process.readAllStandardOutput();
    if (c.arguments != QStringList{"--help"})
        QCOMPARE(printed,
                 logged != "-\r\n" && c.redirect.isEmpty() ? logged.chopped(2) + '\n' : "");
    if (usesSim) {
        QByteArray changes;
        QTRY_COMPARE_WITH_TIMEOUT(changes += sim.readAllStandardOutput(), c.heard, 10000);
    } else {
        QCOMPARE(board.read(c.heard.size() + 1, 500), c.heard);
    }
    QVERIFY(!idleWatch.opened()); // not even a locked port is opened
    // Another program's live lock is never removed nor rewritten; stale ones and our own go.
    QFile lockFile(locks.filePath("LCK..ttyS1"));
    const QStringList left = QDir(locks.path()).entryList({"LCK..*"}, QDir::Files | QDir::System);
    QCOMPARE(left, c.lock == "binary" ? QStringList{"LCK..ttyS1"} : QStringList());
    QVERIFY(left.isEmpty() ||
            (lockFile.open(QIODevice::ReadOnly) && lockFile.readAll() == lockContents));
}

void TestE2eComutel::windowEndsOnBytesOrWithItsDisplay()
{
    // The board's bytes, or the X server gone (a logout, a crash), on which Qt exits the process.
    for (const bool displayLost : {false, true}) {
        Pty board;
        XServer x;
        QTemporaryDir locks;
        Comutel comutel;
        QVERIFY(board.valid && x.start() && comutel.prepare());
        const auto speed = [&board] {
            termios line{};
            ::tcgetattr(board.slave(), &line);
            return cfgetospeed(&line);
        };
        const speed_t before = speed();
        comutel.environment = {"DISPLAY=" + x.display};
        comutel.start({"COM2=" + board.path()}, {}, false, locks.path());
        QTRY_VERIFY_WITH_TIMEOUT(speed() == B300, 10000); // that is, the window has the port open
        QCOMPARE(comutel.log(), QByteArray("-\r\n"));
        if (displayLost)
            x.kill();
        else // long after the open flushed the input
            QVERIFY(writeBoard(board, std::string("OLA\0!", 5)));
        QCOMPARE(comutel.finish(), displayLost ? 3 : 0);
        QVERIFY(matches(displayLost ? "^comutel: a conexão com a tela se perdeu[^\n]*\n$" : "^$",
                        comutel.stderrText()));
        QCOMPARE(comutel.log(), QByteArray(displayLost ? "-\r\n" : "OLA!\r\n"));
        QCOMPARE(comutel.process.readAllStandardOutput(), QByteArray(displayLost ? "" : "OLA!\n"));
        QCOMPARE(board.read(1 << 20, 0), QByteArray()); // window mode sends nothing
        QCOMPARE(speed(), before);                      // the line as the port was found
        QCOMPARE(QDir(locks.path()).entryList({"LCK..*"}, QDir::Files | QDir::System),
                 QStringList());
    }
}

void TestE2eComutel::portsOpensNoDevice()
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("needs root, to make a device node");
    // A UART's open raises DTR, a reset for some boards: standing in for one, a tty that others
    // hold open and is no pty, a node of /dev/ptmx's (an open would make a pty, no more).
    Pty free;
    Comutel comutel;
    const QString uart = comutel.path("uart");
    QVERIFY(free.valid && comutel.prepare() &&
            ::mknod(QFile::encodeName(uart).constData(), S_IFCHR | 0666, makedev(5, 2)) == 0);
    const OpenWatch uartWatch(uart);
    comutel.start({"COM2=" + free.path(), "COM3=" + uart}, {"--ports"});
    QCOMPARE(comutel.finish(), 0);
    const QString listed = QString::fromUtf8(comutel.process.readAllStandardOutput());
    QVERIFY2(matches("^COM2 +/dev/ttyS1 +padrão +livre\nCOM3 +/dev/ttyS2 +padrão +em uso por "
                     "outro programa \\(PID \\d+, [^)]+\\)\n$",
                     listed),
             qPrintable(listed + comutel.stderrText()));
    QVERIFY(!uartWatch.opened());
}

void TestE2eComutel::sharedMachine()
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("needs root, to run comutel as another user");
    const auto chownNobody = [](const QString &path) {
        return ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    Child sim;
    const QString board = startBoard(sim, {"--chatter", "--verbose"});
    Pty held; // another program's, in the kernel's exclusive mode at 9600
    termios line{};
    int exclusive = 0;
    QVERIFY(held.valid && ::chmod(QFile::encodeName(board).constData(), 0666) == 0 &&
            ::tcgetattr(held.slave(), &line) == 0 && ::cfsetspeed(&line, B9600) == 0 &&
            ::tcsetattr(held.slave(), TCSANOW, &line) == 0 && ::ioctl(held.slave(), TIOCEXCL) == 0);

    // Root's run in an ordinary user's folder keeps the shared log that user's, writable by all;
    // it passes over the held port untouched; killed while it gathers an answer, it leaves its
    // pseudo-terminal usable for the next run.
    Comutel root;
    QVERIFY(root.prepare() && chownNobody(root.folder.path()) && chownNobody(root.path("log.txt")));
    QVERIFY(::chmod(QFile::encodeName(root.path("log.txt")).constData(), 0666) == 0);
    root.start({"COM2=" + held.path(), "COM3=" + board}, {"E"});
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT((heard += sim.readAllStandardError()).contains("0x45"), 10000);
    ::kill(pid_t(root.process.processId()), SIGKILL);
    QVERIFY(root.process.waitForFinished(10000) && root.process.exitCode() == SIGKILL);
    QVERIFY(::tcgetattr(held.slave(), &line) == 0 && ::cfgetospeed(&line) == B9600 &&
            ::ioctl(held.slave(), TIOCGEXCL, &exclusive) == 0 && exclusive == 1);
    QCOMPARE(root.log(), QByteArray("-\r\n"));
    struct stat log;
    QVERIFY(::stat(QFile::encodeName(root.path("log.txt")).constData(), &log) == 0 &&
            log.st_uid == 65534 && (log.st_mode & 07777) == 0666);

    // A stale lock of root's in the sticky lock folder, which a user may not remove, does not
    // keep that user from the port.
    QTemporaryDir locks;
    QVERIFY(::chmod(QFile::encodeName(locks.path()).constData(), 01777) == 0);
    QVERIFY(!writeLock(locks.path(), "planted").isEmpty());
    Comutel user;
    QVERIFY(user.prepare() && chownNobody(user.folder.path()) && chownNobody(user.path("log.txt")));
    user.wrapper = kAsNobody;
    user.start({"COM2=" + board}, {"3"}, false, locks.path());
    QVERIFY2(user.finish() == 0, qPrintable(user.stderrText()));
    QTRY_VERIFY_WITH_TIMEOUT((heard += sim.readAllStandardOutput()).contains("relé 2 ligado"),
                             10000);
}

void TestE2eComutel::overlappingQueriesEachReadTheirOwnAnswer()
{
    // Each E switches its own relay on after answering, so no two E answers are alike.
    const QStringList commands{"E1", "E3", "E5", "E7", "R1", "R4"};
    for (const int count : {2, 6}) {
        Child sim;
        const QString com2 = "COM2=" + startBoard(sim, {"--late=300"});
        QVERIFY(com2 != "COM2=");
        QTemporaryDir locks; // one /run/lock for all, as on one machine
        std::vector<std::unique_ptr<Comutel>> runs(count);
        std::vector<QByteArray> logAtExit(count);
        int running = count;
        for (int i = 0; i < count; ++i) {
            runs[i] = std::make_unique<Comutel>();
            QVERIFY(i > 0 || runs[0]->prepare());
            runs[i]->executable = runs[0]->path("comutel"); // one program, one log.txt
            // The caller reads the log the moment its own run has ended.
            connect(&runs[i]->process, &QProcess::finished, this, [&, i] {
                logAtExit[i] = runs[0]->log();
                --running;
            });
            runs[i]->start({com2}, {commands.at(i)}, false, locks.path());
        }
        QTRY_COMPARE_WITH_TIMEOUT(running, 0, 60000);
        QSet<QByteArray> answers;
        for (int i = 0; i < count; ++i) {
            const QByteArray printed = runs[i]->process.readAllStandardOutput();
            QVERIFY2(runs[i]->finish() == 0 && printed.endsWith('\n'),
                     qPrintable(commands.at(i) + ": " + runs[i]->stderrText()));
            QVERIFY2(logAtExit[i] == "-\r\n" || logAtExit[i] == printed.chopped(1) + "\r\n",
                     qPrintable(commands.at(i) + ": " + logAtExit[i] + " / " + printed));
            if (commands.at(i).startsWith('E'))
                answers << printed;
        }
        QCOMPARE(answers.size(), std::min(count, 4));
    }
}

void TestE2eComutel::endedBySignalLeavesNoLock()
{
    // What is held when the signal comes: the port, by a window and by a query gathering an
    // endless answer; or a box on an X server, the advice's and a window's failure's (a log that
    // an ordinary user may not write), whose loop is Qt's.
    using Case = std::tuple<QStringList, QStringList, const char *>; // board, arguments, box
    for (const auto &[simOptions, arguments, box] :
         {Case{{"--silent"}, {}, ""}, Case{{"--chatter"}, {"E"}, ""}, Case{{}, {"1"}, "Ravelto"},
          Case{{}, {}, "Comutel"}}) {
        const bool boxed = *box, window = arguments.isEmpty();
        if (boxed && window && ::geteuid() != 0)
            COMUTEL_SKIP("needs root, to run comutel as another user");
        Child sim;
        XServer x;
        const QString board = boxed ? "" : startBoard(sim, simOptions);
        QVERIFY(boxed ? x.start() : !board.isEmpty());
        QTemporaryDir locks;
        Comutel comutel;
        QVERIFY(comutel.prepare());
        if (boxed && window) {
            QVERIFY(::chmod(QFile::encodeName(comutel.folder.path()).constData(), 0755) == 0);
            comutel.wrapper = kAsNobody;
        }
        comutel.environment = {"DISPLAY=" + x.display};
        comutel.start(boxed ? QStringList() : QStringList{"COM2=" + board}, arguments,
                      window && !boxed, locks.path());
        const QString lock = locks.filePath("LCK..ttyS1");
        QTRY_VERIFY_WITH_TIMEOUT(boxed ? x.shows(box) : QFile::exists(lock), 20000);
        QFile maps("/proc/" + QString::number(comutel.process.processId()) + "/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QCOMPARE(maps.readAll().contains("libQt"), boxed || window); // command mode loads no Qt
        ::kill(pid_t(comutel.process.processId()), SIGTERM);
        QVERIFY(comutel.process.waitForFinished(10000));
        QCOMPARE(comutel.process.exitStatus(), QProcess::CrashExit); // ended by that signal
        QCOMPARE(comutel.process.exitCode(), SIGTERM);
        QVERIFY(!QFile::exists(lock));
        QCOMPARE(comutel.log(), boxed && window ? kStale : QByteArray("-\r\n"));
    }
}

QTEST_GUILESS_MAIN(TestE2eComutel)
#include "tst_e2e_comutel.moc"
