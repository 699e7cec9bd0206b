// What an event loop gives the controller: interval timers, the time, and the end of the run.
// The loop also delivers the serial port's notifications (CommPort::setCommHandler), one handler
// at a time on the one thread, never while another handler is running. Each platform has its own
// loop; tests drive a fake one with a fake clock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

class Timer
{
public:
    virtual ~Timer() = default;
    // (Re)starts: the first tick comes one interval later, then one every interval.
    virtual void start(std::chrono::milliseconds interval) = 0;
    // No tick comes after a stop, not even one already due.
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class EventLoop
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~EventLoop() = default;
    // A stopped timer whose ticks call onTick on the loop's thread.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTick) = 0;
    virtual Clock::time_point now() const = 0;
    // The loop returns status once the running handler has returned; nothing else is delivered.
    virtual void end(int status) = 0;
};

// A timer with a fixed interval, as the window's timers are: TimerConectar, TimerRecebe.
class IntervalTimer
{
public:
    IntervalTimer(EventLoop &loop, std::chrono::milliseconds interval, std::function<void()> onTick)
        : m_timer(loop.createTimer(std::move(onTick))), m_interval(interval)
    {
    }
    void start() { m_timer->start(m_interval); }
    void stop() { m_timer->stop(); }
    bool isActive() const { return m_timer->isActive(); }
    std::chrono::milliseconds interval() const { return m_interval; }

private:
    std::unique_ptr<Timer> m_timer;
    std::chrono::milliseconds m_interval;
};
