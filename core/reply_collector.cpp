#include "reply_collector.h"

#include <utility>

using namespace std::chrono;

ReplyCollector::ReplyCollector(QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &ReplyCollector::finish);
}

void ReplyCollector::add(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (!isGathering())
        m_sinceFirst.start();
    m_reply += bytes;
    if (m_reply.size() >= kMaxBytes) {
        m_reply.truncate(kMaxBytes);
        finish();
        return;
    }
    // A board that never stops talking still gets its answer cut at kLongest.
    const milliseconds left = kLongest - milliseconds(m_sinceFirst.elapsed());
    if (left <= 0ms)
        finish();
    else
        m_quiet.start(std::min(kQuiet, left));
}

void ReplyCollector::stop()
{
    m_quiet.stop();
    m_reply.clear();
}

void ReplyCollector::finish()
{
    m_quiet.stop();
    emit gathered(std::exchange(m_reply, QByteArray()));
}
