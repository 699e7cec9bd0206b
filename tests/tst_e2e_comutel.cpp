// The executable as built, run the way a script runs it: its own copy in a fresh folder (log.txt
// lies beside it), in a private /dev from tools/with-ports.sh that holds only the ports a case
// names, against tools/relay_sim or bare pseudo-terminals.
#include "pty_board.h"
#include "skip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <csignal>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

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

// A pseudo-terminal standing in for the board; the program opens path().
struct Pty : PtyPair
{
    const bool valid = open();
    QString path() const { return QString::fromStdString(slavePath()); }
    QByteArray read(size_t count, int quietMs = 5000) const
    {
        return QByteArray::fromStdString(readBoard(*this, count, quietMs));
    }
};

// Tells whether a device was opened, so a case can prove a port was left alone.
struct OpenWatch
{
    explicit OpenWatch(const QString &path)
        : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          watch(::inotify_add_watch(fd, QFile::encodeName(path).constData(), IN_OPEN))
    {
    }
    ~OpenWatch() { ::close(fd); }
    bool opened() const
    {
        char events[4096];
        return ::read(fd, events, sizeof events) > 0;
    }
    const int fd, watch;
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

// tools/relay_sim with options; its pseudo-terminal, which it names first, or "" if it did not.
QString startBoard(Child &sim, const QStringList &options)
{
    sim.start(QStringLiteral(COMUTEL_RELAY_SIM), options);
    return sim.waitForReadyRead(10000) ? QString::fromLocal8Bit(sim.readLine()).trimmed() : "";
}

// One run of the program, with its own copy and so its own log.txt.
struct Comutel
{
    QTemporaryDir folder;
    QTemporaryDir config; // its XDG_CONFIG_HOME: the user's COM map is in comutel/ports there
    Child process;
    QElapsedTimer clock;
    QStringList wrapper;     // run before the program inside the private /dev, as setpriv is
    QStringList environment; // NAME=VALUE added to the program's environment
    QString executable;      // another run's copy, to share its log.txt; default its own

    QString path(const QString &name) const { return folder.filePath(name); }
    QByteArray log() const
    {
        QFile file(path("log.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>";
    }
    // A link comN in the user's COM map; without a device, a plain file in the way.
    bool map(const QString &entry, const QString &device) const
    {
        const QString path = config.filePath("comutel/ports/" + entry);
        return QDir(config.path()).mkpath("comutel/ports") &&
               (device.isEmpty() ? QFile(path).open(QIODevice::WriteOnly)
                                 : QFile::link(device, path));
    }
    // Its copy with its window module, and a stale log.txt.
    bool prepare()
    {
        QFile log(path("log.txt"));
        return QFile::copy(QStringLiteral(COMUTEL_EXECUTABLE), path("comutel")) &&
               QFile::copy(QStringLiteral(COMUTEL_WINDOW_MODULE), path("comutel-window.so")) &&
               log.open(QIODevice::WriteOnly) && log.write(kStale) == kStale.size();
    }
    // Without a display unless offscreen; locks: the lock folder (/run/lock) the program sees,
    // shared by the runs that are given the same; redirect: what bash adds after the program's
    // arguments (a redirection, or an argument in bash's quoting), or, with a pipe in it, the
    // whole line, %1 standing for the program.
    void start(const QStringList &ports, const QStringList &arguments, bool offscreen = false,
               const QString &locks = {}, const QString &redirect = {})
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            variables.remove(QString::fromLatin1(name));
        if (offscreen)
            variables.insert("QT_QPA_PLATFORM", "offscreen");
        variables.insert("XDG_CONFIG_HOME", config.path());
        for (const QString &variable : environment)
            variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
        process.setProcessEnvironment(variables);
        // exec where it can, so that the process is the program itself, for signals.
        const QString line = redirect.contains('|')
                                 ? redirect.arg("\"$@\"") + "; exit ${PIPESTATUS[0]}"
                                 : "exec \"$@\" " + redirect;
        QStringList command{"-c", line, "e2e", kWithPorts};
        if (!locks.isEmpty())
            command << "--locks" << locks;
        process.start("bash", command << ports << "--" << wrapper
                                      << (executable.isEmpty() ? path("comutel") : executable)
                                      << arguments);
        clock.start();
    }
    // The exit status; -1 after a crash, or when it was still running after a generous minute.
    int finish()
    {
        const bool ended =
            process.waitForFinished(60000) || process.state() == QProcess::NotRunning;
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString stderrText() { return QString::fromUtf8(process.readAllStandardError()); }
};

// lock: what LCK..ttyS1 (COM2's lock file) holds, as writeLock takes it. redirect: as
// Comutel::start takes it.
// environment: NAME=VALUE for the program.
void row(const char *name, const QStringList &ports, const QStringList &simOptions,
         const QStringList &arguments, int status, const QString &log, const QString &stderrText,
         const QByteArray &heard, const QString &lock = {}, const QString &redirect = {},
         const QStringList &environment = {})
{
    QTest::newRow(name) << ports << simOptions << arguments << status << log << stderrText << heard
                        << lock << redirect << environment;
}

// Writes COM2's lock file in folder: "binary" a live pid in four bytes; "ended" the line minicom
// writes, for a process that has ended. Returns its contents.
QByteArray writeLock(const QString &folder, const QString &lock)
{
    qint64 pid = QCoreApplication::applicationPid();
    if (lock == "ended") {
        QProcess ended;
        ended.start("true");
        pid = ended.waitForStarted() ? ended.processId() : 0;
        ended.waitForFinished();
    }
    const qint32 binaryPid = qint32(pid);
    const QByteArray contents =
        lock == "binary" ? QByteArray(reinterpret_cast<const char *>(&binaryPid), 4)
                         : QByteArray::number(pid).rightJustified(10) + " minicom root\n";
    QFile file(folder + "/LCK..ttyS1");
    const bool written = file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    return written ? contents : QByteArray();
}

} // namespace

class TestE2eComutel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void windowLogsBytesArrivingOnTheirOwn();
    void portsOpensNoDevice();
    void sharedMachine();
    void overlappingQueriesEachReadTheirOwnAnswer();
    void stalledStreamsHoldUpNoOtherRun();
    void endedBySignalLeavesNoLock();
    void stoppedRunHoldsItsTurnThirtySecondsAtMost();
};

void TestE2eComutel::initTestCase()
{
    QProcess probe;
    probe.start("bash", {kWithPorts, "--", "true"});
    QVERIFY(probe.waitForFinished(30000));
    if (probe.exitCode() == 77) // with-ports.sh: no private /dev can be made here
        COMUTEL_SKIP(qPrintable(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
    QCOMPARE(probe.exitCode(), 0);
}

void TestE2eComutel::run_data()
{
    // Ports: COMn=SIM is relay_sim, run with simOptions; PTY a bare board; IDLE a port that must
    // never be opened; comN=... a link in the user's COM map. Stderr and the whole log.txt are
    // patterns; standard output must hold the logged answer and a newline. heard is what PTY
    // received, or the relay changes SIM reported.
    for (const char *name : {"ports", "simOptions", "arguments"})
        QTest::addColumn<QStringList>(name);
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<QByteArray>("heard");
    QTest::addColumn<QString>("lock");
    QTest::addColumn<QString>("redirect");
    QTest::addColumn<QStringList>("environment");
    const QStringList com2Sim{"COM2=SIM"}, com2Pty{"COM2=PTY"}, e{"E"};
    row("switches a relay", com2Sim, {}, {"1"}, 0, "-\r\n", "^$", "relé 1 ligado\n");
    row("board vanishes", com2Sim, {"--hang-up"}, e, 2, "-\r\n",
        "^comutel: a porta COM 2 deixou de responder: [^\n]*\n$", ""); // at once: no time-out
    row("standard output closed", com2Sim, {}, e, 0, "0000\r\n", "^$", "", {}, ">&-");
    row("standard output broken", com2Sim, {}, e, 0, "0000\r\n", "^$", "", {}, "%1 | true");
    // Not UTF-8: read as the locale's 8-bit set, or as ISO 8859-1 where it has none.
    for (const char *locale : {"LC_ALL=C", "LC_ALL=C.UTF-8"})
        row(locale, com2Pty, {}, {}, 0, "-\r\n", "^$", "\xC9", {}, "$'\\xe9'", {locale});
    row("locked port named", {"COM2=IDLE", "COM3=/dev/null"}, {}, {"1"}, 1, "-\r\n",
        kAdvice +
            ".*\ncomutel: COM2 \\(/dev/ttyS1\\): em uso por outro programa \\(PID \\d+\\)\n"
            "comutel: COM3 \\(/dev/ttyS2\\): não é uma porta serial[^\n]*\n[^\n]*--ports[^\n]*\n$",
        "", "binary");
    row("board mapped to COM2, an entry ignored", {"COM2=IDLE", "com2=PTY", "com3"}, {}, {"1"}, 0,
        "-\r\n", "^comutel: [^\n]*/comutel/ports/com3: ignorado[^\n]*\n$", "1");
    // The user's device alone: nothing ever goes to another port.
    row("chosen device missing", {"COM2=IDLE"}, {}, {"1"}, 1, "-\r\n",
        kAdvice + ".*\ncomutel: COM2 \\(/dev/serial/by-id/usb-board\\): dispositivo ausente\n", "",
        {}, {}, {"COMUTEL_DEVICE=/dev/serial/by-id/usb-board"});
    row("chosen device found", {"COM2=IDLE", "ttyACM0=PTY"}, {}, {"1"}, 0, "-\r\n", "^$", "1", {},
        {}, {"COMUTEL_DEVICE=/dev/ttyACM0"});
    row("window, no display", {"COM2=IDLE"}, {}, {}, 3, "-\r\n", "^comutel: [^\n]*\n$", "");
    row("--help", {"COM2=IDLE"}, {}, {"--help"}, 0, kStale, "^$", "");
    row("--help, output full", {"COM2=IDLE"}, {}, {"--help"}, 3, kStale,
        "^comutel: não foi possível escrever na saída padrão: [^\n]*\n$", "", {}, ">/dev/full");
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
    QFETCH(QString, lock);
    QFETCH(QString, redirect);
    QFETCH(QStringList, environment);
    Child sim;
    const QString simPort = startBoard(sim, simOptions);
    Pty board, idle;
    QVERIFY(!simPort.isEmpty() && board.valid && idle.valid);
    OpenWatch idleWatch(idle.path());
    QVERIFY(idleWatch.watch >= 0);
    QTemporaryDir locks;
    const QByteArray lockContents = lock.isEmpty() ? QByteArray() : writeLock(locks.path(), lock);
    QVERIFY(lock.isEmpty() || !lockContents.isEmpty());
    const bool usesSim = ports.contains("COM2=SIM");
    for (QString &port : ports)
        port.replace("=SIM", "=" + simPort)
            .replace("=PTY", "=" + board.path())
            .replace("=IDLE", "=" + idle.path());

    Comutel comutel;
    QVERIFY(comutel.prepare());
    for (const QString &port : ports.filter(QRegularExpression("^com\\d")))
        QVERIFY(comutel.map(port.section('=', 0, 0), port.section('=', 1)));
    ports.removeIf([](const QString &port) { return port.startsWith("com"); });
    comutel.environment = environment;
    comutel.start(ports, arguments, false, locks.path(), redirect);
    const int exitStatus = comutel.finish();
    const QString said = comutel.stderrText();
    QVERIFY2(exitStatus == status, qPrintable(QString("exit %1; %2").arg(exitStatus).arg(said)));
    const QByteArray logged = comutel.log();
    QVERIFY2(matches(QRegularExpression::anchoredPattern(log), QString::fromLatin1(logged)),
             logged.left(80).constData());
    QVERIFY2(matches(stderrText, said), qPrintable(said));
    const QByteArray printed = comutel.process.readAllStandardOutput();
    if (arguments != QStringList{"--help"})
        QCOMPARE(printed, logged != "-\r\n" && redirect.isEmpty() ? logged.chopped(2) + '\n' : "");
    if (usesSim) {
        QByteArray changes;
        QTRY_COMPARE_WITH_TIMEOUT(changes += sim.readAllStandardOutput(), heard, 10000);
    } else {
        QCOMPARE(board.read(heard.size() + 1, 500), heard);
    }
    QVERIFY(!idleWatch.opened()); // not even a locked port is opened
    // Another program's lock is never removed nor rewritten; our own go with the port.
    QFile lockFile(locks.filePath("LCK..ttyS1"));
    QVERIFY(lock.isEmpty() ||
            (lockFile.open(QIODevice::ReadOnly) && lockFile.readAll() == lockContents));
    const QStringList left = QDir(locks.path()).entryList({"LCK..*"}, QDir::Files | QDir::System);
    QCOMPARE(left, lock.isEmpty() ? QStringList() : QStringList{"LCK..ttyS1"});
}

void TestE2eComutel::windowLogsBytesArrivingOnTheirOwn()
{
    Pty board;
    Comutel comutel;
    QVERIFY(board.valid && comutel.prepare());
    comutel.start({"COM2=" + board.path()}, {}, true);
    const auto lineAt300Baud = [&board] { // that is, the window has the port open
        termios line{};
        ::tcgetattr(board.slave(), &line);
        return cfgetospeed(&line) == B300;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lineAt300Baud(), 10000);
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    QVERIFY(writeBoard(board, std::string("OLA\0!", 5))); // long after the open flushed the input
    QCOMPARE(comutel.finish(), 0);
    QCOMPARE(comutel.log(), QByteArray("OLA!\r\n"));
    QCOMPARE(comutel.process.readAllStandardOutput(), QByteArray("OLA!\n"));
    QCOMPARE(board.read(1 << 20, 0), QByteArray()); // window mode sends nothing
}

void TestE2eComutel::portsOpensNoDevice()
{
    Pty free, busy;
    QVERIFY(free.valid && busy.valid);
    QFile holder(busy.path()); // another program's flock on the device
    QVERIFY(holder.open(QIODevice::ReadWrite) && ::flock(holder.handle(), LOCK_EX) == 0);
    // An open would raise DTR and RTS, and the close drop them: a reset for some boards.
    const OpenWatch freeWatch(free.path()), busyWatch(busy.path());
    Comutel comutel;
    QVERIFY(comutel.prepare());
    comutel.start({"COM2=" + free.path(), "COM3=" + busy.path()}, {"--ports"});
    QCOMPARE(comutel.finish(), 0);
    const QString listed = QString::fromUtf8(comutel.process.readAllStandardOutput());
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QVERIFY2(matches("^COM2 +/dev/ttyS1 +padrão +livre\nCOM3 +/dev/ttyS2 +padrão +em uso por "
                     "outro programa \\(PID " +
                         pid + "\\)\n$",
                     listed),
             qPrintable(listed + comutel.stderrText()));
    QVERIFY(!freeWatch.opened() && !busyWatch.opened());
}

void TestE2eComutel::sharedMachine()
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("needs root, to run comutel as root and as another user");
    const auto chownNobody = [](const QString &path) {
        return ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    Pty board;
    QVERIFY(board.valid);
    QVERIFY(::chmod(QFile::encodeName(board.path()).constData(), 0666) == 0);

    // Root's run in an ordinary user's folder keeps the shared log that user's, writable by all.
    Comutel root;
    QVERIFY(root.prepare() && chownNobody(root.folder.path()) && chownNobody(root.path("log.txt")));
    QVERIFY(::chmod(QFile::encodeName(root.path("log.txt")).constData(), 0666) == 0);
    root.start({"COM2=" + board.path()}, {"1"});
    QCOMPARE(root.finish(), 0);
    QCOMPARE(root.log(), QByteArray("-\r\n"));
    struct stat log;
    QVERIFY(::stat(QFile::encodeName(root.path("log.txt")).constData(), &log) == 0);
    QCOMPARE(log.st_uid, uid_t(65534));
    QCOMPARE(log.st_mode & 07777, mode_t(0666));
    QCOMPARE(board.read(1), QByteArray("1"));

    // A stale lock of root's in the sticky lock folder, which a user may not remove, does not
    // keep that user from the port.
    QTemporaryDir locks;
    QVERIFY(::chmod(QFile::encodeName(locks.path()).constData(), 01777) == 0);
    QVERIFY(!writeLock(locks.path(), "ended").isEmpty());
    Comutel user;
    QVERIFY(user.prepare() && chownNobody(user.folder.path()) && chownNobody(user.path("log.txt")));
    user.wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    user.start({"COM2=" + board.path()}, {"3"}, false, locks.path());
    QVERIFY2(user.finish() == 0, qPrintable(user.stderrText()));
    QCOMPARE(board.read(1), QByteArray("3"));
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

void TestE2eComutel::stalledStreamsHoldUpNoOtherRun()
{
    // A pipe filled to the brim whose reader never reads, as a caller that does not read.
    const QString stalledOut = "{ head -c 65536 /dev/zero; %1; } | sleep 60";
    const QString stalledErr = "{ head -c 65536 /dev/zero >&2; %1; } 2>&1 >/dev/null | sleep 60";
    for (const bool onStandardError : {false, true}) {
        Child sim;
        Pty silent;
        const QString com2 = "COM2=" + (onStandardError ? silent.path() : startBoard(sim, {}));
        QVERIFY(silent.valid && com2 != "COM2=");
        QTemporaryDir locks;
        Comutel first, next;
        QVERIFY(first.prepare() && next.prepare());
        first.start({com2}, {"E"}, false, locks.path(), onStandardError ? stalledErr : stalledOut);
        if (onStandardError) // no answer: its time-out's line is what it cannot write
            QCOMPARE(silent.read(1), QByteArray("E"));
        else
            QTRY_COMPARE_WITH_TIMEOUT(first.log(), QByteArray("0000\r\n"), 10000);
        next.start({com2}, {"1"}, false, locks.path());
        QVERIFY2(next.finish() == 0, qPrintable(next.stderrText()));
        QVERIFY2(next.clock.elapsed() < 10000, qPrintable(QString::number(next.clock.elapsed())));
        QCOMPARE(first.log(), onStandardError ? QByteArray("-\r\n") : QByteArray("0000\r\n"));
        if (onStandardError)
            QCOMPARE(silent.read(1), QByteArray("1"));
    }
}

void TestE2eComutel::endedBySignalLeavesNoLock()
{
    // A window, and a query gathering an endless answer: both hold the port when the signal comes.
    for (const bool window : {true, false}) {
        Child sim;
        const QString board =
            startBoard(sim, window ? QStringList{"--silent"} : QStringList{"--chatter"});
        QVERIFY(!board.isEmpty());
        QTemporaryDir locks;
        Comutel comutel;
        QVERIFY(comutel.prepare());
        comutel.start({"COM2=" + board}, window ? QStringList() : QStringList{"E"}, window,
                      locks.path());
        const QString lock = locks.filePath("LCK..ttyS1");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
        ::kill(pid_t(comutel.process.processId()), SIGTERM);
        QVERIFY(comutel.process.waitForFinished(10000));
        QCOMPARE(comutel.process.exitStatus(), QProcess::CrashExit); // ended by that signal
        QCOMPARE(comutel.process.exitCode(), SIGTERM);
        QVERIFY(!QFile::exists(lock));
        QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    }
}

void TestE2eComutel::stoppedRunHoldsItsTurnThirtySecondsAtMost()
{
    QTemporaryDir locks;
    Comutel stopped; // no port at all: it would search for 3 s, holding its turn
    QVERIFY(stopped.prepare());
    stopped.start({}, {"1"}, false, locks.path());
    const QByteArray pid = QByteArray::number(stopped.process.processId());
    const auto holdsAFlock = [&pid] {
        QFile held("/proc/locks");
        return held.open(QIODevice::ReadOnly) &&
               QRegularExpression("FLOCK +ADVISORY +WRITE +" + pid + " ")
                   .match(QString::fromLatin1(held.readAll()))
                   .hasMatch();
    };
    QTRY_VERIFY_WITH_TIMEOUT(holdsAFlock(), 10000); // it has its turn
    ::kill(pid_t(stopped.process.processId()), SIGSTOP);
    QFile maps("/proc/" + pid + "/maps"); // command mode loads no Qt
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libQt"));

    Pty board;
    QVERIFY(board.valid);
    Comutel next;
    QVERIFY(next.prepare());
    // A caller that blocked SIGALRM, as the mask is inherited: the wait still ends.
    sigset_t alarm, old;
    ::sigemptyset(&alarm);
    ::sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, &old);
    next.start({"COM2=" + board.path()}, {"1"}, false, locks.path());
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    QCOMPARE(next.finish(), 0);
    QVERIFY2(next.clock.elapsed() >= 29000, qPrintable(QString::number(next.clock.elapsed())));
    QVERIFY(next.stderrText().startsWith("comutel: "));
    QCOMPARE(board.read(2, 500), QByteArray("1"));
}

QTEST_GUILESS_MAIN(TestE2eComutel)
#include "tst_e2e_comutel.moc"
