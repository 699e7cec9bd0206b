#include "qt_comm_port.h"

#include "port_check.h"
#include "port_locks.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Parses "300,n,8,1": baud, parity letter, data bits, stop bits.
struct LineSettings
{
    qint32 baud = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString text;
};

bool parseLineSettings(const QString &text, LineSettings *line)
{
    const QStringList fields = text.trimmed().toLower().split(QLatin1Char(','));
    if (fields.size() != 4)
        return false;
    bool ok = false;
    line->baud = fields[0].toInt(&ok);
    if (!ok || line->baud <= 0)
        return false;

    static const QHash<QString, QSerialPort::Parity> parities{
        {QStringLiteral("n"), QSerialPort::NoParity},
        {QStringLiteral("e"), QSerialPort::EvenParity},
        {QStringLiteral("o"), QSerialPort::OddParity},
        {QStringLiteral("m"), QSerialPort::MarkParity},
        {QStringLiteral("s"), QSerialPort::SpaceParity}};
    static const QHash<QString, QSerialPort::StopBits> stops{
        {QStringLiteral("1"), QSerialPort::OneStop},
        {QStringLiteral("1.5"), QSerialPort::OneAndHalfStop},
        {QStringLiteral("2"), QSerialPort::TwoStop}};
    const int dataBits = fields[2].toInt(&ok);
    if (!parities.contains(fields[1]) || !ok || dataBits < 5 || dataBits > 8 ||
        !stops.contains(fields[3]))
        return false;
    line->parity = parities.value(fields[1]);
    line->dataBits = static_cast<QSerialPort::DataBits>(dataBits);
    line->stopBits = stops.value(fields[3]);
    line->text = fields.join(QLatin1Char(','));
    return true;
}

} // namespace

QtCommPort::Places QtCommPort::Places::ofSystem()
{
    return {QStringLiteral("/dev"), portnames::mapFolders(), portlocks::systemFolders()};
}

QtCommPort::QtCommPort(const Places &places, QObject *parent) : CommPort(parent), m_places(places)
{
    connect(&m_serial, &QSerialPort::readyRead, this, &QtCommPort::onReadyRead);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &QtCommPort::onErrorOccurred);
}

QtCommPort::~QtCommPort()
{
    if (m_serial.isOpen())
        close();
}

bool QtCommPort::configure(const CommSettings &settings)
{
    LineSettings line;
    if (!parseLineSettings(settings.Settings, &line))
        return fail(tr("configuração de linha inválida: %1").arg(settings.Settings));
    if (settings.Handshaking < 0 || settings.Handshaking > 3 || settings.InBufferSize <= 0 ||
        settings.OutBufferSize <= 0)
        return fail(tr("configuração da porta inválida"));

    m_settings = settings;
    m_settings.Settings = line.text;
    m_serial.setBaudRate(line.baud);
    m_serial.setParity(line.parity);
    m_serial.setDataBits(line.dataBits);
    m_serial.setStopBits(line.stopBits);
    // 1 is XON/XOFF; 2 and 3 both involve RTS/CTS.
    m_serial.setFlowControl(settings.Handshaking == 0   ? QSerialPort::NoFlowControl
                            : settings.Handshaking == 1 ? QSerialPort::SoftwareControl
                                                        : QSerialPort::HardwareControl);
    m_serial.setReadBufferSize(settings.InBufferSize);
    // The search starts right after this, so this is when the COM numbers are fixed.
    m_map = portnames::comPorts(m_places.devices, m_places.maps);
    return true;
}

QString QtCommPort::settings() const
{
    return m_settings.Settings;
}

bool QtCommPort::setCommPort(int number)
{
    if (number < 1)
        return fail(tr("número de porta inválido: %1").arg(number));
    m_commPort = number;
    return true;
}

QString QtCommPort::devicePath() const
{
    return m_map.port(m_commPort).device;
}

bool QtCommPort::setPortOpen(bool open)
{
    if (open == m_serial.isOpen())
        return true;
    if (open)
        return this->open();
    close();
    return true;
}

bool QtCommPort::portOpen() const
{
    return m_serial.isOpen();
}

bool QtCommPort::open()
{
    m_openProblem.clear();
    const QString path = devicePath();
    if (path.isEmpty())
        return fail(tr("não há porta COM%1").arg(m_commPort));

    // Looked at first: QSerialPort would delete another program's lock it takes for stale.
    if (const auto lock = portlocks::lockFileOn(path, m_places.locks))
        return refuse(path, portcheck::heldBy(*lock));
    m_serial.setPortName(path);
    if (!m_serial.open(QIODevice::ReadWrite)) {
        portcheck::Finding finding = portcheck::check(path, m_places.locks);
        if (finding.state == portcheck::State::Free) // free for a plain open, not for QSerialPort
            finding = {portcheck::State::NotSerial, m_serial.errorString()};
        m_serial.clearError();
        return refuse(path, finding);
    }
    // Root passes the kernel's exclusive mode (TIOCEXCL), so also take the advisory lock that
    // other serial tools and a second comutel honour.
    if (::flock(m_serial.handle(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        m_serial.close();
        if (error == EWOULDBLOCK)
            return refuse(path, portcheck::flockedBy(path));
        m_openProblem = tr("%1: não foi possível travar a porta: %2")
                            .arg(portLabel(path), QString::fromLocal8Bit(std::strerror(error)));
        return fail(m_openProblem);
    }
    // Pseudo-terminals and some adapters have no modem lines: the requests fail there, and
    // the board talks all the same, so a refusal must not cost us the port.
    m_serial.setDataTerminalReady(m_settings.DTREnable);
    m_serial.setRequestToSend(m_settings.RTSEnable);
    m_serial.clearError();
    // Whatever waited in the driver before we opened cannot be an answer to our command.
    m_serial.clear(QSerialPort::Input);
    m_received.clear();
    return true;
}

void QtCommPort::close()
{
    drain();
    m_serial.close();
    m_received.clear();
}

void QtCommPort::drain()
{
    // QSerialPort::close() drops what is still in its own buffer and puts back the old line
    // settings at once (TCSANOW), cutting off bytes still leaving at 300 baud. So first hand
    // everything to the driver, then wait for the driver to put it on the wire.
    const qint64 bitsPerByte = 1 + m_serial.dataBits() + 2; // start, data, parity or stop, stop
    const qint64 msPerByte = bitsPerByte * 1000 / std::max<qint32>(m_serial.baudRate(), 1) + 1;
    while (m_serial.isOpen() && m_serial.bytesToWrite() > 0) {
        const qint64 budget = m_serial.bytesToWrite() * msPerByte + 1000;
        if (!m_serial.waitForBytesWritten(static_cast<int>(budget)))
            break;
    }
    // A signal may cut the wait short; the bytes still have to leave before the close.
    while (m_serial.isOpen() && ::tcdrain(m_serial.handle()) != 0 && errno == EINTR) {
    }
}

bool QtCommPort::output(const QByteArray &bytes)
{
    if (!m_serial.isOpen())
        return fail(tr("a porta está fechada"));
    if (m_serial.bytesToWrite() + bytes.size() > m_settings.OutBufferSize)
        return fail(tr("o comando tem %1 bytes, mais que os %2 do buffer de saída")
                        .arg(bytes.size())
                        .arg(m_settings.OutBufferSize));
    if (m_serial.write(bytes) != bytes.size())
        return fail(m_serial.errorString());
    return true;
}

QByteArray QtCommPort::input()
{
    return std::exchange(m_received, QByteArray());
}

void QtCommPort::onReadyRead()
{
    QByteArray bytes = m_serial.readAll();
    if (m_settings.NullDiscard)
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    // Past InBufferSize unread bytes are lost, as in an overrun of the driver's buffer.
    const qsizetype room = m_settings.InBufferSize - m_received.size();
    m_received += bytes.left(std::max<qsizetype>(room, 0));
    if (!m_received.isEmpty())
        emit comm(comEvReceive);
}

void QtCommPort::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // A vanished device (unplugged adapter, hung-up line) reports its error again and again
    // until the port is closed: close it, once, and tell the owner from the event loop.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) ||
        !m_serial.isOpen())
        return;
    m_error = m_serial.errorString();
    m_serial.close();
    m_received.clear();
    QMetaObject::invokeMethod(
        this, [this] { emit comm(comEvPortLost); }, Qt::QueuedConnection);
}

bool QtCommPort::refuse(const QString &path, const portcheck::Finding &finding)
{
    // No device with that number is nothing a user could mend: no line for it.
    m_openProblem = finding.state == portcheck::State::Missing
                        ? QString()
                        : portLabel(path) + QStringLiteral(": ") + portcheck::describe(finding);
    return fail(m_openProblem.isEmpty() ? tr("não há dispositivo %1").arg(path) : m_openProblem);
}

QString QtCommPort::portLabel(const QString &path) const
{
    return QStringLiteral("COM%1 (%2)").arg(m_commPort).arg(path);
}

bool QtCommPort::fail(const QString &reason)
{
    m_error = reason;
    return false;
}
