#include "pseudo_terminal.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    if (m_line.open())
        m_slavePath = QString::fromLocal8Bit(m_line.slavePath().c_str());
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_line.master(), bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? n : 0;
    }
    return true;
}

QByteArray PseudoTerminal::read(int count, std::chrono::milliseconds quiet)
{
    QByteArray bytes;
    char buffer[256];
    while (bytes.size() < count) {
        pollfd pfd{m_line.master(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(quiet.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(pfd.revents & POLLIN))
            break;
        const ssize_t n = ::read(m_line.master(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray PseudoTerminal::readAvailable()
{
    return read(1 << 20, std::chrono::milliseconds(0));
}

termios PseudoTerminal::lineSettings() const
{
    termios settings{};
    ::tcgetattr(m_line.slave(), &settings);
    return settings;
}

void PseudoTerminal::hangUp()
{
    m_line.close();
}
