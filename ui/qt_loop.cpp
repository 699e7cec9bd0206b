#include "ui/qt_loop.h"

#include <QCoreApplication>
#include <QSocketNotifier>

QtLoop::QtLoop()
{
    // Coarse timers may fire up to 5 % early or late, which would change the search's pace.
    m_wake.setTimerType(Qt::PreciseTimer);
    m_wake.setSingleShot(true);
    QObject::connect(&m_wake, &QTimer::timeout, [this] {
        m_timers.runDue([this] { return m_ended; });
        wakeForNextTick();
    });
    m_timers.setChangeHandler([this] { wakeForNextTick(); });
}

// In whole milliseconds, rounded up: never before the tick is due.
void QtLoop::wakeForNextTick()
{
    const std::optional<Clock::time_point> due = m_timers.nextDue();
    if (!due || m_ended)
        return m_wake.stop();
    m_wake.start(std::max(std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()),
                          std::chrono::milliseconds(0)));
}

void QtLoop::end(int status)
{
    if (m_ended)
        return;
    m_ended = true;
    m_status = status;
    // Before exec() there is no loop to leave yet: exec() sees m_ended and returns at once.
    if (m_running)
        QCoreApplication::exit(status);
}

int QtLoop::exec()
{
    if (m_ended)
        return m_status;
    m_running = true;
    const int qtStatus = QCoreApplication::exec();
    m_running = false;
    // The controller's status, not Qt's: a quit that Qt adds after end() must not replace it.
    return m_ended ? m_status : qtStatus;
}

void QtLoop::watch(int fd, std::function<void()> ready)
{
    unwatch(fd);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &m_notifierParent);
    // The callback lives in the connection, so it outlives an unwatch from inside itself.
    QObject::connect(notifier, &QSocketNotifier::activated, [this, callback = std::move(ready)] {
        if (!m_ended)
            callback();
    });
    m_notifiers[fd] = notifier;
}

void QtLoop::unwatch(int fd)
{
    const auto found = m_notifiers.find(fd);
    if (found == m_notifiers.end())
        return;
    // Possibly inside its own signal: disabled now, so it reports nothing more, deleted later.
    found->second->setEnabled(false);
    found->second->deleteLater();
    m_notifiers.erase(found);
}
