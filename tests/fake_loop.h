// An event loop on a fake clock: time moves only when a test says so, and timers fire in order
// of their due time (ties in the order they were made), one handler at a time.
#pragma once

#include "event_loop.h"

#include <algorithm>
#include <optional>
#include <vector>

class FakeLoop : public EventLoop
{
public:
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override
    {
        auto timer = std::make_unique<FakeTimer>(*this, std::move(onTick));
        m_timers.push_back(timer.get());
        return timer;
    }
    Clock::time_point now() const override { return m_now; }
    void end(int status) override
    {
        if (!ended)
            ended = status;
    }

    // Moves the clock by span, firing every tick due meanwhile, until the run ends.
    void advance(std::chrono::milliseconds span)
    {
        const Clock::time_point until = m_now + span;
        while (!ended) {
            FakeTimer *next = nullptr;
            for (FakeTimer *timer : m_timers)
                if (timer->active && timer->due <= until && (!next || timer->due < next->due))
                    next = timer;
            if (!next)
                break;
            m_now = next->due;
            next->due += next->interval;
            next->onTick();
        }
        m_now = std::max(m_now, until);
    }

    std::optional<int> ended;

private:
    struct FakeTimer : Timer
    {
        FakeTimer(FakeLoop &owner, std::function<void()> tick)
            : loop(owner), onTick(std::move(tick))
        {
        }
        ~FakeTimer() override
        {
            auto &timers = loop.m_timers;
            timers.erase(std::find(timers.begin(), timers.end(), this));
        }
        void start(std::chrono::milliseconds span) override
        {
            active = true;
            interval = span;
            due = loop.m_now + span;
        }
        void stop() override { active = false; }
        bool isActive() const override { return active; }

        FakeLoop &loop;
        std::function<void()> onTick;
        bool active = false;
        std::chrono::milliseconds interval{};
        Clock::time_point due;
    };

    Clock::time_point m_now;
    std::vector<FakeTimer *> m_timers;
};
