// The interval timers of an event loop, written once for every loop (after libuv's timers): the
// loop keeps only its own wait, until nextDue() or whatever else wakes it, and then runDue().
//
// What every loop's timers do, then:
// - ticks come in order of their due time, ties in the order the timers were created;
// - a timer stopped, restarted or destroyed by an earlier tick of the same round, or by its own,
//   ticks no more in that round: a stop drops even a tick already due;
// - a tick keeps to its timer's grid (the start, then every interval), so the pace never drifts;
//   a tick that comes late (the loop was busy) comes once, as soon as it can, and the ticks
//   missed meanwhile are dropped, not delivered in a burst;
// - no tick comes while another handler of the round runs, not even from a loop nested in it
//   (a modal box).
#pragma once

#include "core/event_loop.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TimerQueue
{
public:
    using Clock = EventLoop::Clock;

    // A timer's start reads the time from loop.
    explicit TimerQueue(const EventLoop &loop) : m_loop(loop) {}
    ~TimerQueue();
    TimerQueue(const TimerQueue &) = delete;
    TimerQueue &operator=(const TimerQueue &) = delete;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick);
    // The earliest due time of a running timer; empty when none runs.
    std::optional<Clock::time_point> nextDue() const;
    // Delivers the ticks due now, by the loop's clock, until ended() says the run is over.
    void runDue(const std::function<bool()> &ended);
    // While runDue delivers: a loop asked to dispatch from inside a tick delivers no tick then.
    bool delivering() const { return m_delivering; }
    // Called after a start or a stop outside a round, for a loop whose wait must hear of it.
    void setChangeHandler(std::function<void()> changed) { m_changed = std::move(changed); }

private:
    struct Entry;
    class QueuedTimer;

    void changed() const;

    const EventLoop &m_loop;
    std::vector<std::shared_ptr<Entry>> m_entries; // in the order of creation
    std::function<void()> m_changed;
    bool m_delivering = false;
};
