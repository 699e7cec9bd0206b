// An event loop on a fake clock: time moves only when a test says so. Its timers are the real
// loops' queue, so ticks come in the order, and skip what they missed, as they do there.
#pragma once

#include "core/timer_queue.h"

#include <algorithm>
#include <optional>

struct FakeLoop : EventLoop
{
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override
    {
        return timers.createTimer(std::move(onTick));
    }
    Clock::time_point now() const override { return clock; }
    void end(int status) override { ended = ended.value_or(status); }

    // Moves the clock by span, delivering every tick due meanwhile, until the run ends. From
    // inside a tick only the clock moves, as for a handler that takes that long.
    void advance(std::chrono::milliseconds span)
    {
        const Clock::time_point until = clock + span;
        for (auto due = timers.nextDue(); due && *due <= until && !ended && !timers.delivering();
             due = timers.nextDue())
            clock = std::max(clock, *due), timers.runDue([this] { return ended.has_value(); });
        clock = std::max(clock, until);
    }

    std::optional<int> ended;
    Clock::time_point clock;
    TimerQueue timers{*this};
};
