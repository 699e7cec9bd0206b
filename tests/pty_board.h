// Playing the board on the master side of a tools/pty pair, whose slave path the program under
// test opens: bytes to the program, and what it sent.
#pragma once

#include "tools/pty/pty_pair.h"

#include <cerrno>
#include <string>

#include <poll.h>
#include <unistd.h>

// Reads until count bytes are in or the line has been silent for quietMs; 0 takes what waits.
inline std::string readBoard(const PtyPair &line, size_t count, int quietMs = 5000)
{
    std::string bytes;
    char buffer[4096];
    for (pollfd wait{line.master(), POLLIN, 0}; bytes.size() < count;) {
        const int ready = ::poll(&wait, 1, quietMs);
        const ssize_t size = ready > 0 ? ::read(line.master(), buffer, sizeof buffer) : 0;
        if (size > 0)
            bytes.append(buffer, size_t(size));
        else if (!(ready < 0 && errno == EINTR))
            break;
    }
    return bytes;
}

inline bool writeBoard(const PtyPair &line, const std::string &bytes)
{
    return ::write(line.master(), bytes.data(), bytes.size()) == ssize_t(bytes.size());
}
