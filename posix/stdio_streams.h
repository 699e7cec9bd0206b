// The caller's standard output and error, written once a run is over. A stream that does not
// take its bytes (a full pipe nobody reads, a terminal stopped with Ctrl-S) is waited for as the
// StreamDeadline allows, then dropped, as a closed one is; the caller's file description is
// never changed (no O_NONBLOCK), so the wait happens on a worker thread that is then left behind.
// SIGPIPE must be ignored by the caller, so that a reader that went away only fails a write.
#pragma once

#include "core/standard_streams.h"

#include <memory>

class StdioStreams : public StandardStreams
{
public:
    explicit StdioStreams(int outFd = 1, int errFd = 2,
                          std::chrono::milliseconds longestWait = StreamDeadline::kLongestWait);
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

    std::unique_ptr<Stream> m_out;
    std::unique_ptr<Stream> m_err;
    StreamDeadline m_deadline;
};
