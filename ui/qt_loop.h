// The controller's event loop in the window: Qt's own loop, so the widgets, the timers and the
// serial port share one thread. The timers are the queue every loop shares, woken by one precise
// QTimer; the port's file descriptor is watched with a QSocketNotifier.
#pragma once

#include "core/event_loop.h"
#include "core/fd_watcher.h"
#include "core/timer_queue.h"

#include <QObject>
#include <QTimer>

#include <map>

class QSocketNotifier;

class QtLoop : public EventLoop, public FdWatcher
{
public:
    // Needs the application object to exist already.
    QtLoop();
    QtLoop(const QtLoop &) = delete;
    QtLoop &operator=(const QtLoop &) = delete;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override
    {
        return m_timers.createTimer(std::move(onTick));
    }
    Clock::time_point now() const override { return Clock::now(); }
    void end(int status) override;

    void watch(int fd, std::function<void()> ready) override;
    void unwatch(int fd) override;

    // Runs Qt's loop until end(); returns the status given there, at once if end() came first.
    // Should Qt leave its loop on its own, its status.
    int exec();

    // After end(), nothing more is delivered, even what Qt has due in the same round.
    bool hasEnded() const { return m_ended; }
    // What end() was given.
    int status() const { return m_status; }

private:
    void wakeForNextTick();

    bool m_ended = false;
    bool m_running = false;
    int m_status = 0;
    QObject m_notifierParent; // owns the notifiers, those waiting for deleteLater too
    std::map<int, QSocketNotifier *> m_notifiers;
    TimerQueue m_timers{*this};
    QTimer m_wake;
};
