#include "win32_loop.h"

#include <windows.h>

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

using Clock = EventLoop::Clock;

class LoopTimer : public Timer
{
public:
    explicit LoopTimer(std::shared_ptr<Win32Loop::TimerEntry> entry) : m_entry(std::move(entry)) {}
    ~LoopTimer() override { stop(); }

    void start(std::chrono::milliseconds interval) override
    {
        m_entry->interval = interval;
        m_entry->due = Clock::now() + interval;
        m_entry->active = true;
    }
    // The loop looks at the flag before each tick, so a tick already due is dropped too.
    void stop() override { m_entry->active = false; }
    bool isActive() const override { return m_entry->active; }

private:
    std::shared_ptr<Win32Loop::TimerEntry> m_entry;
};

} // namespace

Win32Loop::Win32Loop()
{
    // Windows 10 1803 and later; elsewhere a plain waitable timer, which keeps to the system tick.
    m_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                     TIMER_ALL_ACCESS);
    if (!m_timer) {
        m_timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
        // Older Windows: the plain timer keeps to the system clock, 15.6 ms unless raised for
        // as long as the loop lives.
        m_multimedia = LoadLibraryW(L"winmm.dll");
        setTimerPeriod("timeBeginPeriod");
    }
}

Win32Loop::~Win32Loop()
{
    if (m_multimedia) {
        setTimerPeriod("timeEndPeriod");
        FreeLibrary(static_cast<HMODULE>(m_multimedia));
    }
    if (m_timer)
        CloseHandle(m_timer);
}

void Win32Loop::setTimerPeriod(const char *function)
{
    using Period = UINT(WINAPI *)(UINT);
    if (const auto period = reinterpret_cast<Period>(
            reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(m_multimedia), function))))
        period(1);
}

std::unique_ptr<Timer> Win32Loop::createTimer(std::function<void()> onTick)
{
    auto entry = std::make_shared<TimerEntry>();
    entry->onTick = std::move(onTick);
    m_timers.push_back(entry);
    return std::make_unique<LoopTimer>(entry);
}

void Win32Loop::end(int status)
{
    if (m_ended)
        return;
    m_ended = true;
    m_status = status;
}

void Win32Loop::watch(void *handle, std::function<void()> onSignalled)
{
    unwatch(handle);
    m_watches.push_back({handle, std::move(onSignalled)});
}

void Win32Loop::unwatch(void *handle)
{
    m_watches.erase(std::remove_if(m_watches.begin(), m_watches.end(),
                                   [handle](const Watch &w) { return w.handle == handle; }),
                    m_watches.end());
}

int Win32Loop::run()
{
    while (!m_ended)
        waitOnce();
    return m_status;
}

void Win32Loop::waitOnce()
{
    armTimer();
    std::vector<HANDLE> handles{m_timer};
    for (const Watch &w : m_watches)
        handles.push_back(w.handle);
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD result = MsgWaitForMultipleObjectsEx(count, handles.data(), INFINITE, QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE);
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
        // Copied: the handler may unwatch (close the port) while it runs.
        const HANDLE signalled = handles[result - WAIT_OBJECT_0];
        for (const Watch &w : std::vector<Watch>(m_watches)) {
            if (w.handle == signalled && !m_ended)
                w.onSignalled();
        }
    }
    if (!m_ended)
        dispatchMessages();
    if (!m_ended)
        fireDueTimers();
}

void Win32Loop::armTimer()
{
    m_timers.remove_if([](const std::shared_ptr<TimerEntry> &e) { return e.use_count() == 1; });
    Clock::time_point next = Clock::time_point::max();
    for (const auto &entry : m_timers) {
        if (entry->active)
            next = std::min(next, entry->due);
    }
    if (next == Clock::time_point::max()) {
        CancelWaitableTimer(m_timer);
        return;
    }
    // Relative, in 100 ns units (negative); a due time already past fires at once.
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now());
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = -std::max<long long>(1, wait.count() / 100);
    SetWaitableTimer(m_timer, &dueTime, 0, nullptr, nullptr, FALSE);
}

void Win32Loop::dispatchMessages()
{
    MSG message;
    while (!m_ended && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            end(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Loop::fireDueTimers()
{
    // Copied: a tick may create timers; each one is checked again just before it runs.
    const std::list<std::shared_ptr<TimerEntry>> timers = m_timers;
    for (const auto &entry : timers) {
        const Clock::time_point now = Clock::now();
        if (m_ended)
            return;
        if (!entry->active || entry->due > now)
            continue;
        // The next tick keeps the pace; one that fell behind a whole interval is not caught up.
        entry->due += entry->interval;
        if (entry->due <= now)
            entry->due = now + entry->interval;
        entry->onTick();
    }
}
