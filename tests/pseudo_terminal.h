// A pseudo-terminal standing in for the relay board: the test holds the master side and the
// program under test opens slavePath(). The test also keeps a slave descriptor of its own, so
// the line stays up between the program's opens and its termios can be read while in use.
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

#include <termios.h>

class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }

    // As the board: bytes to the program, and what the program sent.
    bool write(const QByteArray &bytes);
    // Reads until count bytes are in or the line has been silent for quiet.
    QByteArray read(int count, std::chrono::milliseconds quiet = std::chrono::seconds(5));
    // Everything already waiting, without blocking.
    QByteArray readAvailable();

    // The line settings as the program left them.
    termios lineSettings() const;

    // Hangs the line up, as an unplugged adapter does.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
