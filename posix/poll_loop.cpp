#include "poll_loop.h"

#include <algorithm>
#include <optional>

#include <poll.h>

// Shared by a timer and the loop: the timer may go away inside a handler, even its own.
struct PollLoop::TimerState
{
    std::function<void()> onTick;
    bool active = false;
    std::chrono::milliseconds interval{0};
    Clock::time_point due;
};

class PollLoop::PollTimer : public Timer
{
public:
    explicit PollTimer(std::shared_ptr<TimerState> state) : m_state(std::move(state)) {}
    ~PollTimer() override { m_state->active = false; }

    void start(std::chrono::milliseconds interval) override
    {
        m_state->interval = std::max(interval, std::chrono::milliseconds(0));
        m_state->due = PollLoop::Clock::now() + m_state->interval;
        m_state->active = true;
    }
    void stop() override { m_state->active = false; }
    bool isActive() const override { return m_state->active; }

private:
    std::shared_ptr<TimerState> m_state;
};

namespace {

// The next due time after a tick: one interval on, from when it was due rather than when it
// ran, so that ticks do not drift; but a loop that fell behind skips what it missed instead of
// delivering a burst.
EventLoop::Clock::time_point nextDue(EventLoop::Clock::time_point due,
                                     std::chrono::milliseconds interval,
                                     EventLoop::Clock::time_point now)
{
    if (interval.count() == 0)
        return now;
    due += interval;
    if (due <= now)
        due += (now - due) / interval * interval + interval;
    return due;
}

} // namespace

std::unique_ptr<Timer> PollLoop::createTimer(std::function<void()> onTick)
{
    auto state = std::make_shared<TimerState>();
    state->onTick = std::move(onTick);
    m_timers.push_back(state);
    return std::make_unique<PollTimer>(std::move(state));
}

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
        dispatchTimers();
        dispatchFds(polled, events);
    }
    return m_status;
}

// Until the first active timer is due, to the nanosecond: a poll timeout in whole milliseconds
// would make every 100 ms tick up to a millisecond late. Empty when no timer runs.
std::optional<timespec> PollLoop::pollTimeout() const
{
    std::optional<Clock::time_point> first;
    for (const auto &weak : m_timers)
        if (const auto timer = weak.lock(); timer && timer->active)
            first = first ? std::min(*first, timer->due) : timer->due;
    if (!first)
        return std::nullopt;
    using namespace std::chrono;
    const auto wait = std::clamp(duration_cast<nanoseconds>(*first - Clock::now()), nanoseconds(0),
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

void PollLoop::dispatchTimers()
{
    std::vector<std::shared_ptr<TimerState>> due;
    const auto now = Clock::now();
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [](const auto &weak) { return weak.expired(); }),
                   m_timers.end());
    for (const auto &weak : m_timers)
        if (auto timer = weak.lock(); timer && timer->active && timer->due <= now)
            due.push_back(std::move(timer));
    std::stable_sort(due.begin(), due.end(),
                     [](const auto &a, const auto &b) { return a->due < b->due; });
    for (const auto &timer : due) {
        // An earlier handler of this round may have stopped, restarted or ended it all.
        if (m_ended || !timer->active || timer->due > now)
            continue;
        timer->due = nextDue(timer->due, timer->interval, now);
        timer->onTick(); // timer (held here) outlives the handler even if its owner does not
    }
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
