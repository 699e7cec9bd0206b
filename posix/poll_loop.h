// Command mode's event loop: interval timers and file descriptors on one poll(), one handler at a
// time on the one thread. It sleeps until the next timer is due or a descriptor is ready, so a
// run that waits for the board or for its turn costs no processor time.
#pragma once

#include "core/event_loop.h"
#include "core/fd_watcher.h"
#include "core/timer_queue.h"

#include <ctime>
#include <memory>
#include <optional>
#include <vector>

class PollLoop : public EventLoop, public FdWatcher
{
public:
    PollLoop() = default;
    PollLoop(const PollLoop &) = delete;
    PollLoop &operator=(const PollLoop &) = delete;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override
    {
        return m_timers.createTimer(std::move(onTick));
    }
    Clock::time_point now() const override { return Clock::now(); }
    void end(int status) override;

    void watch(int fd, std::function<void()> ready) override;
    void unwatch(int fd) override;

    // Dispatches until end(status), then returns status; at once if end came before.
    int run();

private:
    struct Watch
    {
        int fd;
        std::function<void()> ready;
        bool active = true;
    };

    std::optional<timespec> pollTimeout() const;
    void dispatchFds(const std::vector<std::shared_ptr<Watch>> &polled,
                     const std::vector<short> &events);
    bool pollOnce(std::vector<std::shared_ptr<Watch>> &polled, std::vector<short> &events);

    TimerQueue m_timers{*this};
    std::vector<std::shared_ptr<Watch>> m_watches;
    bool m_ended = false;
    int m_status = 0;
};
