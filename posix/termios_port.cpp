#include "posix/termios_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kLargestRead = 64 * 1024; // per wake-up, so that a flood cannot hold the loop

// The rates of LineSettings::kBauds, each with its name in termios.
constexpr std::pair<long, speed_t> kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};
static_assert([] {
    for (std::size_t i = 0; i < std::size(kSpeeds); ++i)
        if (kSpeeds[i].first != LineSettings::kBauds[i])
            return false;
    return std::size(kSpeeds) == std::size(LineSettings::kBauds);
}());

// Raw mode with the line, the receiver on and modem lines ignored. With 5 data bits the UART
// makes 1.5 stop bits of CSTOPB.
void applyLine(const LineSettings &line, termios &settings)
{
    using L = LineSettings;
    const speed_t speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [&](auto &s) {
                              return s.first == line.baud;
                          })->second;
    const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                 PARENB | CMSPAR}; // as LineSettings::Parity
    const tcflag_t parity = parities[static_cast<int>(line.parity)];
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= sizes[line.dataBits - 5] | parity | CLOCAL | CREAD |
                        (line.stopBits != L::StopBits::One ? CSTOPB : 0);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (parity)
        settings.c_iflag |= INPCK;
    if (line.handshake == L::Handshake::XonXoff || line.handshake == L::Handshake::RtsCtsAndXonXoff)
        settings.c_iflag |= IXON | IXOFF;
    if (line.handshake == L::Handshake::RtsCts || line.handshake == L::Handshake::RtsCtsAndXonXoff)
        settings.c_cflag |= CRTSCTS;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

// Pseudo-terminals and some adapters have no modem lines: the request fails there, and the
// board talks all the same, so a refusal must not cost us the port.
void setModemLine(int fd, int line, bool on)
{
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

} // namespace

TermiosPort::Places TermiosPort::Places::ofSystem()
{
    portnames::PortMap map = portnames::comPorts("/dev", portnames::mapFolders());
    if (const char *only = std::getenv("COMUTEL_DEVICE"); only && *only)
        portnames::pinTo(map, only);
    return {std::move(map), portlocks::systemFolders()};
}

TermiosPort::TermiosPort(const Places &places, FdWatcher &watcher)
    : m_places(places), m_watcher(watcher)
{
}

TermiosPort::~TermiosPort()
{
    if (portOpen())
        close();
}

bool TermiosPort::configure(const CommSettings &settings)
{
    std::string why;
    const std::optional<LineSettings> line = LineSettings::of(settings, why);
    if (!line)
        return fail(why);
    m_settings = settings;
    m_settings.Settings = line->text();
    m_line = *line;
    return true;
}

bool TermiosPort::setCommPort(int number)
{
    if (number < 1)
        return fail("número de porta inválido: " + std::to_string(number));
    m_commPort = number;
    return true;
}

std::string TermiosPort::devicePath() const
{
    return m_places.map.port(m_commPort).device;
}

bool TermiosPort::setPortOpen(bool open)
{
    if (open == portOpen())
        return true;
    if (open)
        return this->open();
    close();
    return true;
}

bool TermiosPort::open()
{
    m_openProblem.clear();
    m_openNotices.clear();
    const std::string path = devicePath();
    if (path.empty())
        return fail("não há porta COM" + std::to_string(m_commPort));
    if (!m_places.locks.empty()) {
        const std::vector<std::string> names = portlocks::lockNames(path); // a link, resolved once
        std::vector<portlocks::LockFile> forged;
        const auto held = portlocks::lockFileUnder(names, m_places.locks, true, &forged);
        for (const portlocks::LockFile &forgery : forged)
            m_openNotices.push_back(portLabel(path) + ": " + portcheck::forgery(forgery));
        if (held)
            return refuse(path, portcheck::heldBy(*held));
        // Ours before the open, as other serial programs do; one that cannot be made (a
        // folder not ours to write, a stale lock we may not remove) leaves the flock alone on
        // guard. Looked at again: someone may have put a lock there meanwhile, under a name
        // that is not ours.
        m_ownLocks = portlocks::takeLocks(names, m_places.locks.front());
        if (const auto lock =
                portlocks::lockFileUnder(names, m_places.locks, false, nullptr, m_ownLocks)) {
            portlocks::releaseLocks(m_ownLocks);
            return refuse(path, portcheck::heldBy(*lock));
        }
    }
    if (!openDevice(path)) {
        portlocks::releaseLocks(m_ownLocks);
        return false;
    }
    m_watcher.watch(m_fd, [this] { onReady(); });
    return true;
}

bool TermiosPort::openDevice(const std::string &path)
{
    // Not our controlling terminal, and never blocking: a port waiting for a carrier would
    // hold the whole search.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        portcheck::Finding finding = portcheck::check(path, m_places.locks);
        if (finding.state == portcheck::State::Free) // free by its looks, not for an open
            finding = error == EBUSY
                          ? portcheck::Finding{portcheck::State::Busy, {}}
                          : portcheck::Finding{portcheck::State::NotSerial, std::strerror(error)};
        return refuse(path, finding);
    }
    if (!::isatty(fd)) {
        const int error = errno;
        ::close(fd);
        return refuse(path, {portcheck::State::NotSerial, std::strerror(error)});
    }
    if (refusedExclusively(fd, path))
        return false;
    // The advisory lock that other serial tools and a second comutel honour.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return refuse(path, portcheck::flockedBy(path));
        m_openProblem =
            portLabel(path) + ": não foi possível travar a porta: " + std::strerror(error);
        return fail(m_openProblem);
    }
    // No other open while we hold it, except root's. Not on a pseudo-terminal: its other side
    // keeps the mode after our last close, so a run that is killed would leave it unusable.
    struct stat info;
    m_clearExclusive = m_clearExclusive ||
                       (::fstat(fd, &info) == 0 && !portcheck::isPseudoTerminal(info.st_rdev) &&
                        ::ioctl(fd, TIOCEXCL) == 0);
    m_fd = fd;
    if (!setUpLine()) {
        const int error = errno;
        release();
        return refuse(path, {portcheck::State::NotSerial, std::strerror(error)});
    }
    return true;
}

// Root passes the kernel's exclusive mode: a port another program holds so is busy, and is
// closed at once, before anything touches its line, its modem lines or its buffers. A
// pseudo-terminal that no one has open kept it from a program that ended: ours, to clear.
bool TermiosPort::refusedExclusively(int fd, const std::string &path)
{
    struct stat info;
    m_clearExclusive = false;
    if (!portcheck::inExclusiveMode(fd) || ::fstat(fd, &info) != 0)
        return false;
    const portcheck::Finding finding = portcheck::heldExclusively(info, fd);
    if (finding.state == portcheck::State::Free) {
        m_clearExclusive = true;
        return false;
    }
    ::close(fd);
    refuse(path, finding);
    return true;
}

bool TermiosPort::setUpLine()
{
    if (::tcgetattr(m_fd, &m_savedLine) != 0)
        return false;
    termios line = m_savedLine;
    applyLine(m_line, line);
    if (::tcsetattr(m_fd, TCSANOW, &line) != 0)
        return false;
    setModemLine(m_fd, TIOCM_DTR, m_settings.DTREnable);
    if (m_settings.Handshaking < 2) // under RTS/CTS the driver drives RTS itself
        setModemLine(m_fd, TIOCM_RTS, m_settings.RTSEnable);
    // Whatever waited in the driver before we opened cannot be an answer to our command.
    ::tcflush(m_fd, TCIFLUSH);
    m_received.clear();
    m_pending.clear();
    return true;
}

void TermiosPort::close()
{
    m_watcher.unwatch(m_fd);
    // Every byte handed over goes to the driver, then the driver puts it on the wire: at 300
    // baud a close right after a write would otherwise cut the command off.
    m_pending.finish(m_fd, m_line.baud);
    while (::tcdrain(m_fd) != 0 && errno == EINTR) {
    }
    ::tcsetattr(m_fd, TCSANOW, &m_savedLine);
    release();
}

void TermiosPort::release()
{
    if (m_clearExclusive) // the tty may outlive us, held open by another
        ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd); // and with it our flock
    m_fd = -1;
    portlocks::releaseLocks(m_ownLocks);
    m_received.clear();
    m_pending.clear();
}

bool TermiosPort::output(const std::string &bytes)
{
    if (!portOpen())
        return fail("a porta está fechada");
    if (m_pending.size() + bytes.size() > static_cast<size_t>(m_settings.OutBufferSize))
        return fail("o comando tem " + std::to_string(bytes.size()) + " bytes, mais que os " +
                    std::to_string(m_settings.OutBufferSize) + " do buffer de saída");
    if (!m_pending.write(m_fd, bytes)) {
        m_pending.clear();
        return fail(std::strerror(errno));
    }
    return true;
}

std::string TermiosPort::input()
{
    return std::exchange(m_received, std::string());
}

void TermiosPort::onReady()
{
    const int fd = m_fd;
    pollfd state{fd, POLLIN, 0};
    const bool hungUp =
        ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL));
    std::string bytes;
    const bool alive = readAvailable(bytes);
    const std::string reason = alive ? "desligada" : errno ? std::strerror(errno) : "desligada";
    m_pending.flush(m_fd);
    // Past InBufferSize unread bytes are lost, as in an overrun of the driver's buffer.
    const size_t room =
        m_settings.InBufferSize - std::min<size_t>(m_settings.InBufferSize, m_received.size());
    m_received += bytes.substr(0, room);
    if (std::min(room, bytes.size()) > 0)
        notify(comEvReceive);
    if ((hungUp || !alive) && m_fd == fd && fd >= 0) // unless the handler closed it already
        lose(reason);
}

// Everything waiting; false when the line has hung up or the device is gone.
bool TermiosPort::readAvailable(std::string &bytes)
{
    char buffer[4096];
    errno = 0;
    while (bytes.size() < kLargestRead) {
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count > 0)
            bytes.append(buffer, static_cast<size_t>(count));
        else if (count == 0)
            return false;
        else if (errno == EAGAIN)
            return true;
        else if (errno != EINTR)
            return false;
    }
    return true;
}

void TermiosPort::lose(const std::string &reason)
{
    m_error = portLabel(devicePath()) + ": a porta se perdeu (" + reason + ")";
    m_watcher.unwatch(m_fd);
    release(); // nothing left to drain into a device that is gone
    notify(comEvPortLost);
}

bool TermiosPort::refuse(const std::string &path, const portcheck::Finding &finding)
{
    // No device with that number is nothing a user could mend: no line for it, unless the user
    // named that very device.
    const bool quiet = finding.state == portcheck::State::Missing && m_places.map.pinned == 0;
    m_openProblem = quiet ? std::string() : portLabel(path) + ": " + portcheck::describe(finding);
    return fail(quiet ? "não há dispositivo " + path : m_openProblem);
}

std::string TermiosPort::portLabel(const std::string &path) const
{
    return "COM" + std::to_string(m_commPort) + " (" + path + ")";
}

bool TermiosPort::fail(const std::string &reason)
{
    m_error = reason;
    return false;
}
