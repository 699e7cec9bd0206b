// The caller's standard output and error, written once a run is over. A stream that does not
// take its bytes (a full pipe nobody reads, a terminal stopped with Ctrl-S) is waited for a
// bounded time and then dropped, as a closed one is; the caller's file description is never
// changed (no O_NONBLOCK), so the wait happens on a worker thread that is then left behind.
// SIGPIPE must be ignored by the caller, so that a reader that went away only fails a write.
#pragma once

#include "standard_streams.h"

#include <chrono>
#include <memory>

class StdioStreams : public StandardStreams
{
public:
    // The longest all writes of a run wait together, whatever the streams do.
    static constexpr std::chrono::milliseconds kLongestWait{1000};
    // What a stream is still given once that is spent, so that a stalled standard output does
    // not cost the lines of a working standard error.
    static constexpr std::chrono::milliseconds kShortestWait{50};

    StdioStreams() : StdioStreams(1, 2) {}
    StdioStreams(int outFd, int errFd, std::chrono::milliseconds longestWait = kLongestWait);
    ~StdioStreams() override;
    StdioStreams(const StdioStreams &) = delete;
    StdioStreams &operator=(const StdioStreams &) = delete;

    void writeOut(const std::string &bytes) override;
    void writeErr(const std::string &bytes) override;

    // A standard stream the caller closed is reopened on /dev/null, so that no file the program
    // opens (the serial port) gets its number and receives the answer or a diagnostic.
    static void keepStandardStreamsOpen();

private:
    struct Stream;
    void write(Stream &stream, const std::string &bytes);
    std::chrono::steady_clock::time_point deadline();

    std::unique_ptr<Stream> m_out;
    std::unique_ptr<Stream> m_err;
    std::chrono::milliseconds m_longestWait;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_deadline;
};
