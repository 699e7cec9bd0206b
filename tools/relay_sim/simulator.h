// The simulated board's end of the line: a pseudo-terminal whose master side it serves, feeding
// each byte from the host to a RelayBoard and sending the answers back at the line's pace.
#pragma once

#include "tools/pty/pty_pair.h"
#include "tools/relay_sim/relay_board.h"

#include <chrono>
#include <csignal>
#include <deque>
#include <string>

struct SimulatorOptions
{
    std::chrono::milliseconds pace{33}; // per byte sent; 0 sends as fast as the line takes
    std::chrono::milliseconds late{0};  // before an answer begins, instead of one pace
    bool silent = false;                // never answers
    bool nul = false;                   // a NUL before every byte of an answer
    bool chatter = false;               // talks without end, from the start
    bool hangUp = false;                // hangs up right after the first command
    bool verbose = false;               // tells each byte and answer on stderr
};

class Simulator
{
public:
    explicit Simulator(const SimulatorOptions &options) : m_options(options) {}

    bool openLine();
    const std::string &slavePath() const { return m_line.slavePath(); }
    // Serves the host until a signal arrives or the line is hung up; returns the exit status.
    int run(const volatile sig_atomic_t &stopRequested);

private:
    void receive(char byte, std::chrono::steady_clock::time_point now);
    void queueAnswer(const std::string &answer, std::chrono::steady_clock::time_point now);
    bool hasSomethingToSend() const { return m_options.chatter || !m_out.empty(); }
    char nextByte();
    void sendDue(std::chrono::steady_clock::time_point now, bool writable);
    int pollTimeout(std::chrono::steady_clock::time_point now) const;

    const SimulatorOptions m_options;
    RelayBoard m_board;
    PtyPair m_line;
    std::deque<char> m_out;
    std::chrono::steady_clock::time_point m_nextSend;
    std::chrono::steady_clock::time_point m_numberDeadline;
    unsigned m_chatterIndex = 0;
};
