// The end-to-end tests' harness: the executable as built, run the way a script runs it, its own
// copy in a fresh folder (log.txt lies beside it), in a private /dev from tools/with-ports.sh that
// holds only the ports a case names, against tools/relay_sim or bare pseudo-terminals. The test's
// build names COMUTEL_EXECUTABLE, COMUTEL_WINDOW_MODULE, COMUTEL_TOOLS_DIR and COMUTEL_RELAY_SIM.
#pragma once

#include "tests/pty_board.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/inotify.h>
#include <unistd.h>

namespace e2e {

inline const QString kWithPorts = QStringLiteral(COMUTEL_TOOLS_DIR "/with-ports.sh");
inline const QByteArray kStale = "1010\r\n"; // an answer left by an earlier run
inline const QStringList kAsNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

inline bool matches(const QString &pattern, const QString &text)
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

// An X server of the case's own, where a box or a window must really be shown.
struct XServer : Child
{
    QString display;
    bool start()
    {
        QProcess::start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        display = waitForReadyRead(10000) ? ":" + QString::fromLatin1(readLine()).trimmed() : "";
        return display.size() > 1;
    }
    bool shows(const char *title)
    {
        QProcess info;
        info.start("xwininfo", {"-display", display, "-name", title});
        return info.waitForFinished(10000) && info.exitCode() == 0;
    }
};

// tools/relay_sim with options; its pseudo-terminal, which it names first, or "" if it did not.
inline QString startBoard(Child &sim, const QStringList &options)
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

} // namespace e2e
