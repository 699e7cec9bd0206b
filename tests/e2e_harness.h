// Runs the real executable the way a script does: its own copy in a fresh folder, so that
// log.txt is its own, started through tools/with-ports.sh so that it sees only the serial
// ports the case gives it. Also plays the board with tools/relay_sim and watches devices for
// opens, so a case can tell that a port was never tried.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

namespace e2e {

// with-ports.sh's reason why no private /dev can be made here, or empty when it can.
QString portsUnavailable();

// No display at all, as in a cron job or over ssh.
QProcessEnvironment headless();
// Window mode drawn offscreen.
QProcessEnvironment offscreen();

class Comutel
{
public:
    Comutel();
    ~Comutel();
    Comutel(const Comutel &) = delete;
    Comutel &operator=(const Comutel &) = delete;

    bool isValid() const { return m_copied; }
    QString folder() const { return m_folder.path(); }
    QString logPath() const { return m_folder.filePath(QStringLiteral("log.txt")); }
    // log.txt's bytes; "<none>" when there is no such file.
    QByteArray log() const;
    bool writeLog(const QByteArray &bytes) const;

    // Devices as with-ports.sh takes them: "COM2=/dev/pts/3", "ttyACM0=/dev/pts/4".
    void setPorts(const QStringList &ports) { m_ports = ports; }
    // The serial lock folder the program sees, instead of an empty one.
    void setLockFolder(const QString &folder) { m_locks = folder; }
    void setEnvironment(const QProcessEnvironment &environment) { m_environment = environment; }

    void start(const QStringList &arguments);
    // Waits for the end; false (and the program killed) if it is still running by then.
    bool finish(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    // The exit status, or -1 after a crash or a kill.
    int exitCode() const;
    qint64 elapsedMs() const { return m_elapsedMs; }
    QByteArray standardOutput();
    QString standardError();
    // For failure messages: how it ended and what it said.
    QString outcome();

private:
    QTemporaryDir m_folder;
    QString m_executable;
    bool m_copied = false;
    QStringList m_ports;
    QString m_locks;
    QProcessEnvironment m_environment = headless();
    QProcess m_process;
    QElapsedTimer m_clock;
    qint64 m_elapsedMs = -1;
    QByteArray m_stdout;
    QByteArray m_stderr;
};

// tools/relay_sim with the given options, on a pseudo-terminal of its own.
class RelaySim
{
public:
    explicit RelaySim(const QStringList &options = {});
    ~RelaySim();
    RelaySim(const RelaySim &) = delete;
    RelaySim &operator=(const RelaySim &) = delete;

    bool isValid() const { return !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }
    // The relay changes it has printed so far, one per line.
    QStringList changes();
    bool waitForChange(const QString &line,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    QProcess m_process;
    QString m_slavePath;
    QByteArray m_output;
};

// Counts the opens of a device node (inotify), so a case can tell a port was never tried.
class OpenWatch
{
public:
    explicit OpenWatch(const QString &path);
    ~OpenWatch();
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    bool isValid() const { return m_watch >= 0; }
    int opens();

private:
    int m_fd = -1;
    int m_watch = -1;
    int m_opens = 0;
};

} // namespace e2e
