// The loop's part for a port under test: it polls the watched descriptors when the test asks,
// so that a test waits for an event, not for a time.
#pragma once

#include "core/fd_watcher.h"

#include <map>
#include <vector>

#include <poll.h>

class TestFdWatcher : public FdWatcher
{
public:
    void watch(int fd, std::function<void()> ready) override { m_watched[fd] = std::move(ready); }
    void unwatch(int fd) override { m_watched.erase(fd); }

    // Waits up to timeoutMs for watched descriptors and runs their handlers; false if none was.
    bool runOnce(int timeoutMs = 5000)
    {
        std::vector<pollfd> fds;
        for (const auto &entry : m_watched)
            fds.push_back({entry.first, POLLIN, 0});
        const bool ready = !fds.empty() && ::poll(fds.data(), fds.size(), timeoutMs) > 0;
        for (const pollfd &fd : fds) {
            const auto handler = m_watched.find(fd.fd); // a handler may unwatch another
            if (ready && fd.revents && handler != m_watched.end())
                std::function<void()>(handler->second)(); // a copy: it may unwatch itself
        }
        return ready;
    }

private:
    std::map<int, std::function<void()>> m_watched;
};
