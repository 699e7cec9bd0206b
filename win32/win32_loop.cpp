#include "win32/win32_loop.h"

#include <windows.h>

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

using Clock = EventLoop::Clock;

// timeBeginPeriod and timeEndPeriod: looked up, not linked, so that winmm loads only where it
// is needed.
using TimerPeriod = UINT(WINAPI *)(UINT);
TimerPeriod timerPeriod(HMODULE winmm, const char *name)
{
    return reinterpret_cast<TimerPeriod>(reinterpret_cast<void *>(GetProcAddress(winmm, name)));
}

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
        const HMODULE winmm = LoadLibraryW(L"winmm.dll");
        m_multimedia = winmm;
        const TimerPeriod begin = winmm ? timerPeriod(winmm, "timeBeginPeriod") : nullptr;
        m_timeEndPeriod = winmm ? timerPeriod(winmm, "timeEndPeriod") : nullptr;
        if (begin && m_timeEndPeriod)
            begin(1);
        else
            m_timeEndPeriod = nullptr;
    }
}

Win32Loop::~Win32Loop()
{
    if (m_timeEndPeriod)
        m_timeEndPeriod(1);
    if (m_multimedia)
        FreeLibrary(static_cast<HMODULE>(m_multimedia));
    if (m_timer)
        CloseHandle(m_timer);
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
        m_timers.runDue([this] { return m_ended; });
}

void Win32Loop::armTimer()
{
    const std::optional<Clock::time_point> next = m_timers.nextDue();
    if (!next) {
        CancelWaitableTimer(m_timer);
        return;
    }
    // Relative, in 100 ns units (negative); a due time already past fires at once.
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(*next - Clock::now());
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
