// Watching a file descriptor from an event loop: the serial port's bytes and hang-up, and the
// signals that end the program, reach the controller this way on both of the loops comutel runs
// on in Linux (its own poll loop in command mode, Qt's in the window module). Here, so that
// posix/ and ui/ share it; the controller itself never sees a descriptor.
#pragma once

#include <functional>

class FdWatcher
{
public:
    virtual ~FdWatcher() = default;
    // ready runs on the loop's thread whenever fd is readable, hung up or in error, until
    // unwatch(fd); unwatch may be called from inside ready.
    virtual void watch(int fd, std::function<void()> ready) = 0;
    virtual void unwatch(int fd) = 0;
};
