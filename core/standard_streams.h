// The caller's standard output and error. The controller writes them only at the very end of a
// run, once the board and the turn are free, so a caller that does not read holds up nobody; an
// implementation waits a bounded time for a stream to take the bytes, then drops them.
#pragma once

#include <string>

class StandardStreams
{
public:
    virtual ~StandardStreams() = default;
    virtual void writeOut(const std::string &bytes) = 0;
    virtual void writeErr(const std::string &bytes) = 0;
};
