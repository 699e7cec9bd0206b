// The program's one thread: a message loop that also waits, in the same call
// (MsgWaitForMultipleObjectsEx), on the serial port's event and on one waitable timer set to
// the nearest tick. A high-resolution timer keeps the search at 100 ms a port where Windows'
// own timers would round every tick up to the 15.6 ms system clock.
#pragma once

#include "core/event_loop.h"
#include "core/timer_queue.h"
#include "win32/handle_watcher.h"

#include <functional>
#include <memory>
#include <vector>

class Win32Loop : public EventLoop, public HandleWatcher
{
public:
    Win32Loop();
    ~Win32Loop() override;
    Win32Loop(const Win32Loop &) = delete;
    Win32Loop &operator=(const Win32Loop &) = delete;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override
    {
        return m_timers.createTimer(std::move(onTick));
    }
    Clock::time_point now() const override { return Clock::now(); }
    void end(int status) override;

    void watch(void *handle, std::function<void()> onSignalled) override;
    void unwatch(void *handle) override;

    // Runs until end(); returns its status.
    int run();
    bool hasEnded() const { return m_ended; }

private:
    struct Watch
    {
        void *handle;
        std::function<void()> onSignalled;
    };

    void waitOnce();
    void armTimer();
    void dispatchMessages();

    void *m_timer = nullptr;
    void *m_multimedia = nullptr; // winmm, where the timer is not a high-resolution one
    // winmm's timeEndPeriod (UINT WINAPI (UINT)), once the period has been raised.
    unsigned(__stdcall *m_timeEndPeriod)(unsigned) = nullptr;
    TimerQueue m_timers{*this};
    std::vector<Watch> m_watches;
    bool m_ended = false;
    int m_status = 0;
};
