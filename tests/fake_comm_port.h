// A port that opens the COM numbers it is told to, records what the controller does with it in
// a journal shared with the other fakes ("close; "), and lets a test play the board.
#pragma once

#include "core/comm_port.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

using Journal = std::string;

class FakeCommPort : public CommPort
{
public:
    explicit FakeCommPort(Journal &journal) : m_journal(journal) {}

    std::set<int> openable; // COM numbers that open
    std::string settingsReadBack = "300,n,8,1";
    bool refuseOutput = false;
    std::string openProblemText; // what a failed open says

    bool configured = false;
    std::vector<int> tried;
    std::string written;

    bool configure(const CommSettings &) override { return configured = true; }
    std::string settings() const override { return settingsReadBack; }
    bool setCommPort(int number) override
    {
        m_number = number;
        return true;
    }
    bool setPortOpen(bool open) override
    {
        if (open)
            tried.push_back(m_number);
        else if (m_open)
            m_journal += "close; ";
        m_open = open && openable.count(m_number) > 0;
        return m_open == open;
    }
    bool portOpen() const override { return m_open; }
    bool output(const std::string &bytes) override
    {
        const bool taken = m_open && !refuseOutput;
        written += taken ? bytes : std::string();
        return taken;
    }
    std::string input() override { return std::exchange(m_pending, std::string()); }
    std::string errorString() const override { return "fake error"; }
    std::string openProblem() const override { return m_open ? "" : openProblemText; }

    // As the board.
    void receive(const std::string &bytes)
    {
        m_pending += bytes;
        notify(comEvReceive);
    }

private:
    Journal &m_journal;
    int m_number = 0;
    bool m_open = false;
    std::string m_pending;
};
