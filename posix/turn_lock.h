// Command-mode runs of comutel take turns on the board. Scripts and timers often start several
// at once; without turns all but one would find the port busy and give up. Each run holds an
// exclusive flock on one file that every comutel on the machine shares, from before it resets
// its log until its port is closed, so the next one starts its search on a free port.
#pragma once

#include <QString>

#include <chrono>

class TurnLock
{
public:
    static constexpr std::chrono::seconds kLongestWait{30};
    static inline const QString kDefaultPath = QStringLiteral("/run/lock/comutel.lock");

    enum class Result {
        Taken,
        Unavailable, // no lock file can be had here: go on as a lone run would
        TimedOut,    // another run kept its turn too long: go on all the same
        Failed,      // a file or a lock that should have worked did not (errorString)
    };

    explicit TurnLock(const QString &path = kDefaultPath) : m_path(path) {}
    ~TurnLock() { release(); }
    TurnLock(const TurnLock &) = delete;
    TurnLock &operator=(const TurnLock &) = delete;

    // Waits until our turn comes or longest has passed.
    Result take(std::chrono::milliseconds longest = kLongestWait);
    void release();
    QString errorString() const { return m_error; }

private:
    int open();

    QString m_path;
    int m_fd = -1;
    QString m_error;
};
