#include "qt_loop.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

namespace {

class QtTimer : public Timer
{
public:
    QtTimer(const QtLoop &loop, std::function<void()> onTick)
    {
        // Coarse timers may fire up to 5 % early or late, which would change the search's pace.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [&loop, tick = std::move(onTick)] {
            if (!loop.hasEnded())
                tick();
        });
    }

    // QTimer::stop() also drops a tick that is due but not yet delivered in this round.
    void start(std::chrono::milliseconds interval) override { m_timer.start(interval); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<Timer> QtLoop::createTimer(std::function<void()> onTick)
{
    return std::make_unique<QtTimer>(*this, std::move(onTick));
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
