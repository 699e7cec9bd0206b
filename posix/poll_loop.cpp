#include "posix/poll_loop.h"

#include <algorithm>
#include <optional>

#include <poll.h>

void PollLoop::end(int status)
{
    if (m_ended)
        return;
    m_ended = true;
    m_status = status;
}

void PollLoop::watch(int fd, std::function<void()> ready)
{
    unwatch(fd);
    m_watches.push_back(std::make_shared<Watch>(Watch{fd, std::move(ready)}));
}

void PollLoop::unwatch(int fd)
{
    // A watch already polled in this round is only marked, so its event is not delivered.
    for (auto &watch : m_watches)
        if (watch->fd == fd)
            watch->active = false;
    m_watches.erase(std::remove_if(m_watches.begin(), m_watches.end(),
                                   [fd](const auto &watch) { return watch->fd == fd; }),
                    m_watches.end());
}

int PollLoop::run()
{
    std::vector<std::shared_ptr<Watch>> polled;
    std::vector<short> events;
    while (!m_ended) {
        if (!pollOnce(polled, events))
            continue;
        m_timers.runDue([this] { return m_ended; });
        dispatchFds(polled, events);
    }
    return m_status;
}

// Until the first timer is due, to the nanosecond: a poll timeout in whole milliseconds would
// make every 100 ms tick up to a millisecond late. Empty when no timer runs.
std::optional<timespec> PollLoop::pollTimeout() const
{
    const std::optional<Clock::time_point> due = m_timers.nextDue();
    if (!due)
        return std::nullopt;
    using namespace std::chrono;
    const auto wait = std::clamp(duration_cast<nanoseconds>(*due - Clock::now()), nanoseconds(0),
                                 duration_cast<nanoseconds>(hours(24)));
    return timespec{static_cast<time_t>(duration_cast<seconds>(wait).count()),
                    static_cast<long>((wait % seconds(1)).count())};
}

// False when poll was interrupted by a signal: the round starts again.
bool PollLoop::pollOnce(std::vector<std::shared_ptr<Watch>> &polled, std::vector<short> &events)
{
    polled = m_watches;
    std::vector<pollfd> fds;
    for (const auto &watch : polled)
        fds.push_back(pollfd{watch->fd, POLLIN, 0});
    const std::optional<timespec> timeout = pollTimeout();
    if (::ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, nullptr) < 0)
        return false; // EINTR (or EAGAIN): try again; nothing else can fail with valid arguments
    events.clear();
    for (const pollfd &fd : fds)
        events.push_back(fd.revents);
    return true;
}

void PollLoop::dispatchFds(const std::vector<std::shared_ptr<Watch>> &polled,
                           const std::vector<short> &events)
{
    for (std::size_t i = 0; i < polled.size(); ++i) {
        const std::shared_ptr<Watch> &watch = polled[i];
        if (m_ended || !watch->active || events[i] == 0)
            continue;
        if (events[i] & POLLNVAL)
            unwatch(watch->fd); // closed without an unwatch: told once, never again
        watch->ready();
    }
}
