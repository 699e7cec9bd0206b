// What the loop offers a device: call me on the loop's thread when this event handle is
// signalled. The serial port hands it the event of its pending overlapped read.
#pragma once

#include <functional>

class HandleWatcher
{
public:
    virtual ~HandleWatcher() = default;
    // handle is a Windows event HANDLE; it must stay valid until unwatch.
    virtual void watch(void *handle, std::function<void()> onSignalled) = 0;
    virtual void unwatch(void *handle) = 0;
};
