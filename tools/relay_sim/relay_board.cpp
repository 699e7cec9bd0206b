#include "tools/relay_sim/relay_board.h"

RelayBoard::Reaction RelayBoard::receive(char byte)
{
    if (m_awaitingNumber) {
        m_awaitingNumber = false;
        if (byte < '1' || byte > '0' + kRelays)
            return {};
        Reaction reaction;
        reaction.answer = m_on[byte - '1'] ? "1" : "0";
        return reaction;
    }
    if (byte >= '1' && byte <= '0' + 2 * kRelays) {
        // Odd digits switch relay (digit+1)/2 on, even ones switch it off.
        const int digit = byte - '0';
        return switchRelay((digit + 1) / 2, digit % 2 == 1);
    }
    if (byte == 'E') {
        Reaction reaction;
        reaction.answer = states();
        return reaction;
    }
    if (byte == 'R')
        m_awaitingNumber = true;
    return {};
}

std::string RelayBoard::states() const
{
    std::string text;
    for (bool on : m_on)
        text += on ? '1' : '0';
    return text;
}

RelayBoard::Reaction RelayBoard::switchRelay(int relay, bool on)
{
    Reaction reaction;
    reaction.relay = relay;
    reaction.on = on;
    reaction.changed = m_on[relay - 1] != on;
    m_on[relay - 1] = on;
    return reaction;
}
