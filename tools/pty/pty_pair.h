// A fresh pseudo-terminal for a program to open as its serial port, with both ends held here:
// the master for whoever plays the board, and a slave descriptor of our own, so that the line
// stays up between the program's opens (without it the master would report a hang-up each time
// the program closes the port) and its settings can be read while the program has it.
// Plain POSIX: the simulated board starts at once with it, and the tests share it.
#pragma once

#include <string>

class PtyPair
{
public:
    PtyPair() = default;
    ~PtyPair() { close(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // False, with the reason in error(), when the machine gives no pseudo-terminal.
    bool open();
    bool isOpen() const { return m_master >= 0 && m_slave >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string &slavePath() const { return m_slavePath; }
    const std::string &error() const { return m_error; }

    // Hangs the line up, as an unplugged adapter does.
    void close();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_error;
};
