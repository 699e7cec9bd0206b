#include "core/reply_collector.h"

#include <utility>

using namespace std::chrono;

ReplyCollector::ReplyCollector(EventLoop &loop, std::function<void(const std::string &)> gathered)
    : m_loop(loop), m_gathered(std::move(gathered)), m_quiet(loop.createTimer([this] { finish(); }))
{
}

void ReplyCollector::add(const std::string &bytes)
{
    if (bytes.empty())
        return;
    if (!isGathering())
        m_firstByte = m_loop.now();
    m_reply += bytes;
    if (m_reply.size() >= kMaxBytes) {
        m_reply.resize(kMaxBytes);
        finish();
        return;
    }
    // A board that never stops talking still gets its answer cut at kLongest.
    const auto left = duration_cast<milliseconds>(kLongest - (m_loop.now() - m_firstByte));
    if (left <= 0ms)
        finish();
    else
        m_quiet->start(std::min(kQuiet, left));
}

void ReplyCollector::stop()
{
    m_quiet->stop();
    m_reply.clear();
}

void ReplyCollector::finish()
{
    m_quiet->stop();
    m_gathered(std::exchange(m_reply, std::string()));
}
