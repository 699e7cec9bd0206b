// The line as the board's documentation writes it, "300,n,8,1" (baud, parity letter, data bits,
// stop bits), read once, here, with the rest of the port's settings; each platform only maps the
// value onto its own port. What is taken is what every platform's port can really set.
#pragma once

#include "core/comm_port.h"

#include <optional>
#include <string>

struct LineSettings
{
    enum class Parity { None, Odd, Even, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };
    // The port's Handshaking, 0 to 3.
    enum class Handshake { None, XonXoff, RtsCts, RtsCtsAndXonXoff };

    // The standard rates, each of which every platform's port can set.
    static constexpr long kBauds[] = {50,    75,    110,    134,    150,    200,   300,
                                      600,   1200,  1800,   2400,   4800,   9600,  19200,
                                      38400, 57600, 115200, 230400, 460800, 921600};

    long baud = 300;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    Handshake handshake = Handshake::None;

    // Four fields, blanks around them ignored: a rate of kBauds, as written there; n, o, e, m or
    // s in either case; 5 to 8 data bits; 1 stop bit, 1.5 with 5 data bits, 2 with 6 or more
    // (the pairs a UART makes). Empty for anything else.
    static std::optional<LineSettings> parse(const std::string &text);
    // Every setting a port is given: its line, and the rest within what a port does (binary
    // reads of everything waiting, buffers of some size). Empty, with the reason, otherwise.
    static std::optional<LineSettings> of(const CommSettings &settings, std::string &why);

    // As read back from the port: "300,n,8,1".
    std::string text() const;
};
