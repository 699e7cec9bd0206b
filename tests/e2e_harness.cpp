#include "e2e_harness.h"

#include <QDeadlineTimer>
#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

namespace e2e {

namespace {

const QString kWithPorts = QStringLiteral(COMUTEL_TOOLS_DIR "/with-ports.sh");

int milliseconds(std::chrono::milliseconds duration)
{
    return static_cast<int>(duration.count());
}

} // namespace

QString portsUnavailable()
{
    static const QString reason = [] {
        QProcess probe;
        probe.start(QStringLiteral("bash"),
                    {kWithPorts, QStringLiteral("--"), QStringLiteral("true")});
        if (!probe.waitForFinished(30000))
            return QStringLiteral("with-ports.sh não terminou");
        if (probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return QString();
        const QString said = QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
        // 77 is the script's "not possible here"; anything else is a fault of ours.
        if (probe.exitCode() == 77)
            return said;
        return QStringLiteral("with-ports.sh falhou (%1): %2").arg(probe.exitCode()).arg(said);
    }();
    return reason;
}

QProcessEnvironment headless()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

QProcessEnvironment offscreen()
{
    QProcessEnvironment environment = headless();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

Comutel::Comutel() : m_executable(m_folder.filePath(QStringLiteral("comutel")))
{
    m_copied = m_folder.isValid() && QFile::copy(QStringLiteral(COMUTEL_EXECUTABLE), m_executable);
    QObject::connect(&m_process, &QProcess::finished, [this] { m_elapsedMs = m_clock.elapsed(); });
}

Comutel::~Comutel()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray Comutel::log() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return "<none>";
    return file.readAll();
}

bool Comutel::writeLog(const QByteArray &bytes) const
{
    QFile file(logPath());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void Comutel::start(const QStringList &arguments)
{
    QStringList command{kWithPorts};
    if (!m_locks.isEmpty())
        command << QStringLiteral("--locks") << m_locks;
    command << m_ports << QStringLiteral("--") << m_executable << arguments;
    m_process.setProcessEnvironment(m_environment);
    m_elapsedMs = -1;
    m_clock.start();
    m_process.start(QStringLiteral("bash"), command);
}

bool Comutel::finish(std::chrono::milliseconds timeout)
{
    if (m_process.waitForFinished(milliseconds(timeout)) || !isRunning())
        return true;
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}

int Comutel::exitCode() const
{
    if (isRunning() || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QByteArray Comutel::standardOutput()
{
    m_stdout += m_process.readAllStandardOutput();
    return m_stdout;
}

QString Comutel::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}

QString Comutel::outcome()
{
    return QStringLiteral("exit %1 after %2 ms; stderr: %3")
        .arg(exitCode())
        .arg(m_elapsedMs)
        .arg(standardError());
}

RelaySim::RelaySim(const QStringList &options)
{
    m_process.start(QStringLiteral(COMUTEL_RELAY_SIM), options);
    const QDeadlineTimer deadline(10000);
    while (!m_output.contains('\n') && m_process.waitForReadyRead(deadline.remainingTime()))
        m_output += m_process.readAllStandardOutput();
    const qsizetype end = m_output.indexOf('\n');
    if (end < 0)
        return;
    m_slavePath = QString::fromLocal8Bit(m_output.left(end));
    m_output.remove(0, end + 1);
}

RelaySim::~RelaySim()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QStringList RelaySim::changes()
{
    m_output += m_process.readAllStandardOutput();
    return QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool RelaySim::waitForChange(const QString &line, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!changes().contains(line)) {
        if (!m_process.waitForReadyRead(deadline.remainingTime()))
            return changes().contains(line);
    }
    return true;
}

bool RelaySim::waitForExit(std::chrono::milliseconds timeout)
{
    return m_process.waitForFinished(milliseconds(timeout)) ||
           m_process.state() == QProcess::NotRunning;
}

OpenWatch::OpenWatch(const QString &path)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
}

OpenWatch::~OpenWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int OpenWatch::opens()
{
    alignas(inotify_event) char buffer[4096];
    ssize_t size;
    while (m_fd >= 0 && (size = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (char *at = buffer; at < buffer + size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            if (event->mask & IN_OPEN)
                ++m_opens;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return m_opens;
}

} // namespace e2e
