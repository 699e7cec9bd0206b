// The four-relay board as the simulator plays it: what each byte from the host does and what the
// board says back. The real board's answers are not documented to us; the ones here are this
// simulator's own choice: "E" answers the four relay states as "0"/"1" characters, relay 1 first,
// and "R" followed by a relay number answers that relay's state. Everything else gets no answer.
#pragma once

#include <array>
#include <string>

class RelayBoard
{
public:
    static constexpr int kRelays = 4;

    struct Reaction
    {
        std::string answer; // bytes to send back, empty for none
        int relay = 0;      // 1..4 when the byte was a switching command
        bool on = false;    // the relay's state after it
        bool changed = false;
    };

    // One byte from the host. Commands carry no framing, so each byte is one command, except
    // the byte that follows an "R", which is that query's relay number.
    Reaction receive(char byte);

    // An "R" whose number never came: the next byte is a command of its own again.
    bool awaitsRelayNumber() const { return m_awaitingNumber; }
    void forgetRelayNumber() { m_awaitingNumber = false; }

    std::string states() const;

private:
    Reaction switchRelay(int relay, bool on);

    std::array<bool, kRelays> m_on{};
    bool m_awaitingNumber = false;
};
