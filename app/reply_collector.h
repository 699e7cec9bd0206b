// Gathers the board's answer. At 300 baud a byte takes 33 ms, so the first receive notice
// holds only the first byte; the answer is whole once the line has been quiet for a while.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

class ReplyCollector : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kQuiet{100};
    static constexpr std::chrono::milliseconds kLongest{2000}; // from the first byte
    static constexpr int kMaxBytes = 1024;

    explicit ReplyCollector(QObject *parent = nullptr);

    bool isGathering() const { return !m_reply.isEmpty(); }
    void add(const QByteArray &bytes);
    // Forgets a partial answer; nothing more is reported.
    void stop();

signals:
    void gathered(const QByteArray &reply);

private:
    void finish();

    QByteArray m_reply;
    QTimer m_quiet;
    QElapsedTimer m_sinceFirst;
};
