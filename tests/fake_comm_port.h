// A port that opens the COM numbers it is told to, records what the controller does with it,
// and lets a test play the board.
#pragma once

#include "comm_port.h"

#include <QList>
#include <QSet>

#include <functional>
#include <utility>

class FakeCommPort : public CommPort
{
public:
    QSet<int> openable; // COM numbers that open
    QString settingsReadBack = QStringLiteral("300,n,8,1");
    bool refuseOutput = false;
    std::function<void()> beforeOpenAttempt;

    // What happened.
    bool configured = false;
    QList<int> tried;
    QByteArray written;

    bool configure(const CommSettings &) override { return configured = true; }
    QString settings() const override { return settingsReadBack; }
    bool setCommPort(int number) override
    {
        m_number = number;
        return true;
    }
    bool setPortOpen(bool open) override
    {
        if (open && beforeOpenAttempt)
            beforeOpenAttempt();
        if (open)
            tried << m_number;
        m_open = open && openable.contains(m_number);
        return m_open == open;
    }
    bool portOpen() const override { return m_open; }
    bool output(const QByteArray &bytes) override
    {
        const bool taken = m_open && !refuseOutput;
        written += taken ? bytes : QByteArray();
        return taken;
    }
    QByteArray input() override { return std::exchange(m_pending, QByteArray()); }
    QString errorString() const override { return QStringLiteral("fake error"); }
    QString openProblem() const override { return {}; }

    // As the board.
    void receive(const QByteArray &bytes)
    {
        m_pending += bytes;
        emit comm(comEvReceive);
    }
    void vanish()
    {
        m_open = false;
        emit comm(comEvPortLost);
    }

private:
    int m_number = 0;
    bool m_open = false;
    QByteArray m_pending;
};
