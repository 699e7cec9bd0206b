// The loop's part for a port under test: it polls the watched descriptors when the test asks,
// so that a test waits for an event, not for a time.
#pragma once

#include "fd_watcher.h"

#include <functional>
#include <map>
#include <vector>

#include <poll.h>

class TestFdWatcher : public FdWatcher
{
public:
    void watch(int fd, std::function<void()> ready) override { m_watched[fd] = std::move(ready); }
    void unwatch(int fd) override { m_watched.erase(fd); }

    // Waits up to timeoutMs for a watched descriptor to be ready and runs its handlers; false
    // when none was.
    bool runOnce(int timeoutMs = 5000)
    {
        std::vector<pollfd> fds;
        for (const auto &entry : m_watched)
            fds.push_back({entry.first, POLLIN, 0});
        if (fds.empty() || ::poll(fds.data(), fds.size(), timeoutMs) <= 0)
            return false;
        for (const pollfd &fd : fds) {
            // A copy: the handler may unwatch its own descriptor.
            if (fd.revents && m_watched.count(fd.fd)) {
                const std::function<void()> ready = m_watched[fd.fd];
                ready();
            }
        }
        return true;
    }

private:
    std::map<int, std::function<void()>> m_watched;
};
