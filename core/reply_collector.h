// Gathers the board's answer. At 300 baud a byte takes 33 ms, so the first receive notice holds
// only the first byte; the answer is whole once the line has been quiet for a while, or once it
// is as long as the receive buffer, or once a board that never stops has talked long enough.
#pragma once

#include "core/event_loop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class ReplyCollector
{
public:
    static constexpr std::chrono::milliseconds kQuiet{100};
    static constexpr std::chrono::milliseconds kLongest{2000}; // from the first byte
    static constexpr std::size_t kMaxBytes = 1024;

    ReplyCollector(EventLoop &loop, std::function<void(const std::string &)> gathered);

    bool isGathering() const { return !m_reply.empty(); }
    void add(const std::string &bytes);
    // Forgets a partial answer; nothing more is reported.
    void stop();

private:
    void finish();

    EventLoop &m_loop;
    std::function<void(const std::string &)> m_gathered;
    std::unique_ptr<Timer> m_quiet;
    std::string m_reply;
    EventLoop::Clock::time_point m_firstByte;
};
