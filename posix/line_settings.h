// The line as the board's documentation writes it, "300,n,8,1" (baud, parity letter, data bits,
// stop bits), read into termios. Split from the port so that the text is checked once, when the
// settings are taken, and the open only applies it.
#pragma once

#include <string>

#include <termios.h>

struct LineSettings
{
    long baud = 300;
    speed_t speed = B300;
    tcflag_t parity = 0; // PARENB, PARODD, CMSPAR as the letter asks
    tcflag_t dataBits = CS8;
    bool twoStopBits = false;
    std::string text; // as read back: "300,n,8,1"

    // False for anything but a known baud rate, n/e/o/m/s, 5 to 8 data bits and 1 or 2 stop bits.
    static bool parse(const std::string &text, LineSettings *line);

    // Raw mode with this line, the receiver on and modem lines ignored; flow control by
    // handshaking: 0 none, 1 XON/XOFF, 2 and 3 RTS/CTS.
    void applyTo(termios &settings, int handshaking) const;
};
