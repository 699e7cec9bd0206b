#include "tools/relay_sim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long an "R" waits for its relay number: a few byte times at 300 baud.
constexpr milliseconds kNumberWait{100};
constexpr char kChatter[] = "0123456789";

} // namespace

bool Simulator::openLine()
{
    if (!m_line.open()) {
        std::fprintf(stderr, "relay_sim: %s\n", m_line.error().c_str());
        return false;
    }
    // A line nobody reads fills up; then bytes are lost, as on a real wire, instead of blocking.
    ::fcntl(m_line.master(), F_SETFL, ::fcntl(m_line.master(), F_GETFL) | O_NONBLOCK);
    return true;
}

int Simulator::run(const volatile sig_atomic_t &stopRequested)
{
    sigset_t waitMask;
    ::sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    ::sigdelset(&waitMask, SIGINT);
    ::sigdelset(&waitMask, SIGTERM);
    ::sigdelset(&waitMask, SIGHUP);
    m_nextSend = Clock::now() + m_options.pace;

    while (!stopRequested && m_line.master() >= 0) {
        const Clock::time_point now = Clock::now();
        if (m_board.awaitsRelayNumber() && now >= m_numberDeadline)
            m_board.forgetRelayNumber();
        const bool due = hasSomethingToSend() && now >= m_nextSend;
        pollfd pfd{m_line.master(), static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0};
        const int timeout = pollTimeout(now);
        timespec wait{timeout / 1000, (timeout % 1000) * 1000000L};
        const int ready = ::ppoll(&pfd, 1, timeout < 0 ? nullptr : &wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "relay_sim: %s\n", std::strerror(errno));
            return 1;
        }
        if (pfd.revents & (POLLHUP | POLLERR)) {
            std::fprintf(stderr, "relay_sim: a linha caiu\n");
            return 1;
        }
        if (pfd.revents & POLLIN) {
            char bytes[256];
            const ssize_t count = ::read(m_line.master(), bytes, sizeof bytes);
            for (ssize_t i = 0; i < count && m_line.master() >= 0; ++i)
                receive(bytes[i], Clock::now());
        }
        if (m_line.master() >= 0)
            sendDue(Clock::now(), pfd.revents & POLLOUT);
    }
    return 0;
}

void Simulator::receive(char byte, Clock::time_point now)
{
    if (m_options.verbose)
        std::fprintf(stderr, "relay_sim: recebido 0x%02x\n", static_cast<unsigned char>(byte));
    const RelayBoard::Reaction reaction = m_board.receive(byte);
    if (m_board.awaitsRelayNumber())
        m_numberDeadline = now + kNumberWait;
    if (reaction.relay != 0) {
        std::printf("relé %d %s%s\n", reaction.relay, reaction.changed ? "" : "já estava ",
                    reaction.on ? "ligado" : "desligado");
        std::fflush(stdout);
    }
    if (!reaction.answer.empty() && !m_options.silent)
        queueAnswer(reaction.answer, now);
    if (m_options.hangUp) {
        if (m_options.verbose)
            std::fprintf(stderr, "relay_sim: desligando a linha\n");
        m_line.close();
    }
}

void Simulator::queueAnswer(const std::string &answer, Clock::time_point now)
{
    if (m_options.verbose)
        std::fprintf(stderr, "relay_sim: resposta \"%s\"\n", answer.c_str());
    // A byte takes one pace to cross the line, so even a prompt answer is complete only then.
    if (m_out.empty())
        m_nextSend = now + (m_options.late > milliseconds(0) ? m_options.late : m_options.pace);
    for (char byte : answer) {
        if (m_options.nul)
            m_out.push_back('\0');
        m_out.push_back(byte);
    }
}

char Simulator::nextByte()
{
    if (m_out.empty())
        return kChatter[m_chatterIndex++ % (sizeof kChatter - 1)];
    const char byte = m_out.front();
    m_out.pop_front();
    return byte;
}

void Simulator::sendDue(Clock::time_point now, bool writable)
{
    if (!hasSomethingToSend() || now < m_nextSend)
        return;
    if (m_options.pace == milliseconds(0)) {
        // Unpaced: as much as the line takes whenever it has room.
        if (!writable)
            return;
        char bytes[256];
        ssize_t count = 0;
        while (count < static_cast<ssize_t>(sizeof bytes) && hasSomethingToSend())
            bytes[count++] = nextByte();
        // What did not fit goes back to the front, so the stream has no gaps.
        const ssize_t written = std::max<ssize_t>(::write(m_line.master(), bytes, count), 0);
        for (ssize_t i = count; i > written; --i)
            m_out.push_front(bytes[i - 1]);
        return;
    }
    const char byte = nextByte();
    // Lost when nobody has read the line for a long time, as on a real wire.
    if (::write(m_line.master(), &byte, 1) < 0 && m_options.verbose)
        std::fprintf(stderr, "relay_sim: byte perdido: %s\n", std::strerror(errno));
    // Keep the rhythm, but after a stall start afresh rather than sending a burst.
    m_nextSend = std::max(m_nextSend, now - m_options.pace) + m_options.pace;
}

int Simulator::pollTimeout(Clock::time_point now) const
{
    Clock::time_point until = Clock::time_point::max();
    if (hasSomethingToSend() && m_options.pace > milliseconds(0))
        until = m_nextSend;
    else if (hasSomethingToSend() && now < m_nextSend)
        until = m_nextSend; // a late unpaced answer
    if (m_board.awaitsRelayNumber())
        until = std::min(until, m_numberDeadline);
    if (until == Clock::time_point::max())
        return -1;
    if (until <= now)
        return 0;
    // Rounded up, so that we never wake a little early and spin until the moment comes.
    const auto wait = std::chrono::ceil<milliseconds>(until - now);
    return static_cast<int>(wait.count());
}
