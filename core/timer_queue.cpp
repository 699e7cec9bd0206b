#include "core/timer_queue.h"

#include <algorithm>
#include <utility>

// Shared by a timer and the queue: a round holds it through a tick that destroys its timer.
struct TimerQueue::Entry
{
    TimerQueue *queue; // null once the queue is gone
    std::function<void()> onTick;
    Clock::duration interval{};
    Clock::time_point due;
    unsigned starts = 0; // tells a round that the timer was restarted since it looked
    bool active = false;
};

class TimerQueue::QueuedTimer : public Timer
{
public:
    explicit QueuedTimer(std::shared_ptr<Entry> entry) : m_entry(std::move(entry)) {}
    ~QueuedTimer() override { stop(); }

    void start(std::chrono::milliseconds interval) override
    {
        if (!m_entry->queue)
            return;
        m_entry->interval = std::max(Clock::duration(interval), Clock::duration::zero());
        m_entry->due = m_entry->queue->m_loop.now() + m_entry->interval;
        ++m_entry->starts;
        m_entry->active = true;
        m_entry->queue->changed();
    }
    void stop() override
    {
        if (!std::exchange(m_entry->active, false) || !m_entry->queue)
            return;
        m_entry->queue->changed();
    }
    bool isActive() const override { return m_entry->active; }

private:
    std::shared_ptr<Entry> m_entry;
};

namespace {

using Clock = TimerQueue::Clock;

// One interval on from when the tick was due rather than from when it ran; past the ticks that
// a late one has missed.
Clock::time_point following(Clock::time_point due, Clock::duration interval, Clock::time_point now)
{
    if (interval == Clock::duration::zero())
        return now;
    due += interval;
    if (due <= now)
        due += ((now - due) / interval + 1) * interval;
    return due;
}

} // namespace

TimerQueue::~TimerQueue()
{
    for (const auto &entry : m_entries)
        entry->queue = nullptr;
}

std::unique_ptr<Timer> TimerQueue::createTimer(std::function<void()> onTick)
{
    // Entries whose timers are gone, and that no round holds, go now.
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [](const auto &entry) { return entry.use_count() == 1; }),
                    m_entries.end());
    auto entry = std::make_shared<Entry>();
    entry->queue = this;
    entry->onTick = std::move(onTick);
    m_entries.push_back(entry);
    return std::make_unique<QueuedTimer>(std::move(entry));
}

std::optional<Clock::time_point> TimerQueue::nextDue() const
{
    std::optional<Clock::time_point> first;
    for (const auto &entry : m_entries)
        if (entry->active && (!first || entry->due < *first))
            first = entry->due;
    return first;
}

void TimerQueue::runDue(const std::function<bool()> &ended)
{
    if (m_delivering)
        return;
    const Clock::time_point now = m_loop.now();
    std::vector<std::pair<std::shared_ptr<Entry>, unsigned>> round; // with its start then
    for (const auto &entry : m_entries)
        if (entry->active && entry->due <= now)
            round.emplace_back(entry, entry->starts);
    std::stable_sort(round.begin(), round.end(),
                     [](const auto &a, const auto &b) { return a.first->due < b.first->due; });
    m_delivering = true;
    for (const auto &[entry, starts] : round) {
        if (ended())
            break;
        if (!entry->active || entry->starts != starts)
            continue;
        // The time now, not the round's: an earlier tick of the round may have taken long.
        entry->due = following(entry->due, entry->interval, m_loop.now());
        entry->onTick();
    }
    m_delivering = false;
}

void TimerQueue::changed() const
{
    if (m_changed && !m_delivering)
        m_changed();
}
