// Command-mode runs take turns on the board: scripts often start several at once, and without
// turns all but one would find the port busy and give up. A turn is taken without blocking; the
// controller asks again on its own timer, so the wait is bounded by the event loop.
#pragma once

#include <string>

class Turn
{
public:
    enum class Result {
        Taken,
        Busy,        // someone else has it now: ask again later
        Unavailable, // no turns can be had here: go on as a lone run would
        Failed,      // something that should have worked did not (errorString)
    };

    virtual ~Turn() = default;
    virtual Result tryTake() = 0;
    virtual void release() = 0;
    virtual std::string errorString() const = 0;
    // Who holds the turn, as the time-out line names it ("outro comutel (PID 12)"); empty when
    // unknown.
    virtual std::string holder() const = 0;
};
