// A pseudo-terminal standing in for the relay board (tools/pty): the test holds the master side
// and the program under test opens slavePath().
#pragma once

#include "pty_pair.h"

#include <QByteArray>
#include <QString>

#include <chrono>

#include <termios.h>

class PseudoTerminal
{
public:
    PseudoTerminal();

    bool isValid() const { return m_line.isOpen(); }
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
    PtyPair m_line;
    QString m_slavePath;
};
