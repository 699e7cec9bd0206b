// The caller's standard output and error. The controller writes them only at the very end of a
// run, once the board and the turn are free, so a caller that does not read holds up nobody; an
// implementation waits a bounded time for a stream to take the bytes (StreamDeadline), then
// drops them.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>

class StandardStreams
{
public:
    virtual ~StandardStreams() = default;
    virtual void writeOut(const std::string &bytes) = 0;
    virtual void writeErr(const std::string &bytes) = 0;
};

// How long the writes of one run may wait for their streams: a second in all, counted from the
// first write, the run's own work being over by then. A stream still gets a short while once
// that is spent, so that a stalled standard output does not cost the lines of a working
// standard error.
class StreamDeadline
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kLongestWait{1000};
    static constexpr std::chrono::milliseconds kShortestWait{50};

    // Tests give a shorter or a longer bound.
    explicit StreamDeadline(std::chrono::milliseconds longestWait = kLongestWait)
        : m_longestWait(longestWait)
    {
    }

    // Until when the write about to start may wait.
    Clock::time_point next(Clock::time_point now = Clock::now())
    {
        if (!m_started) {
            m_started = true;
            m_deadline = now + m_longestWait;
        }
        return std::max(m_deadline, now + std::min(kShortestWait, m_longestWait));
    }

private:
    std::chrono::milliseconds m_longestWait;
    bool m_started = false;
    Clock::time_point m_deadline;
};
