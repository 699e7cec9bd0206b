#include "tools/pty/pty_pair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

bool PtyPair::open()
{
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = std::string("sem pseudo-terminal: ") + std::strerror(errno);
        close();
        return false;
    }
    m_slavePath = ::ptsname(m_master);
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        m_error = m_slavePath + ": " + std::strerror(errno);
        close();
        return false;
    }
    // Raw until the program sets the line up itself, so that nothing is echoed back to the
    // board as a command or translated on the way.
    termios settings;
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_slave, TCSANOW, &settings);
    return true;
}

void PtyPair::close()
{
    // Our slave first: the master's close is then the last one and the program sees a hang-up.
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}
