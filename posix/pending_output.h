// Bytes handed to the port that the driver has not taken yet. The port never blocks the loop on
// a write, yet must not lose a byte: what a full driver buffer refuses waits here until the next
// wake-up, or until the close, which waits for it as long as the line needs to send it.
#pragma once

#include <string>

class PendingOutput
{
public:
    size_t size() const { return m_bytes.size(); }
    void clear() { m_bytes.clear(); }

    // Adds bytes and hands the driver what it takes now; false (errno set) on a write error.
    bool write(int fd, const std::string &bytes);
    // Hands the driver what it takes now.
    bool flush(int fd);
    // Waits until the driver has taken everything, for the time the line needs at baud and a
    // second more; a line that has hung up takes nothing and is not waited for.
    void finish(int fd, long baud);

private:
    std::string m_bytes;
};
