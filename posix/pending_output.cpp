#include "posix/pending_output.h"

#include <cerrno>
#include <chrono>

#include <poll.h>
#include <unistd.h>

bool PendingOutput::write(int fd, const std::string &bytes)
{
    m_bytes += bytes;
    return flush(fd);
}

bool PendingOutput::flush(int fd)
{
    while (!m_bytes.empty()) {
        const ssize_t written = ::write(fd, m_bytes.data(), m_bytes.size());
        if (written > 0)
            m_bytes.erase(0, static_cast<size_t>(written));
        else if (written == 0 || errno == EAGAIN)
            return true; // the driver takes no more now: the rest waits for the next chance
        else if (written < 0 && errno != EINTR)
            return false;
    }
    return true;
}

void PendingOutput::finish(int fd, long baud)
{
    using namespace std::chrono;
    const long bitsPerByte = 1 + 8 + 1 + 2; // at most: start, data, parity, two stop bits
    const auto budget =
        milliseconds(static_cast<long>(m_bytes.size()) * bitsPerByte * 1000 / baud) + seconds(1);
    const auto deadline = steady_clock::now() + budget;
    while (flush(fd) && !m_bytes.empty()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        pollfd wait{fd, POLLOUT, 0};
        const int ready = left > 0 ? ::poll(&wait, 1, static_cast<int>(left)) : 0;
        if ((ready < 0 && errno != EINTR) || (ready == 0 && left <= 0) ||
            (ready > 0 && (wait.revents & (POLLHUP | POLLERR | POLLNVAL))))
            break;
    }
}
