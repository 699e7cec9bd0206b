// The standard streams at the end of a run: a reader that does not read, or none at all, costs a
// bounded wait or nothing, and the caller's own file descriptions are left as they were.
#include "stdio_streams.h"

#include <doctest/doctest.h>

#include <csignal>
#include <string>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A pipe whose writing end would block: filled to the brim, then blocking again.
void fill(int out[2])
{
    const int flags = ::fcntl(out[1], F_GETFL);
    ::fcntl(out[1], F_SETFL, flags | O_NONBLOCK);
    while (::write(out[1], std::string(4096, 'x').data(), 4096) > 0 ||
           ::write(out[1], "x", 1) > 0) {
    }
    ::fcntl(out[1], F_SETFL, flags);
}

} // namespace

TEST_CASE("a stalled, a closed or a broken standard output holds up neither the run nor stderr")
{
    std::signal(SIGPIPE, SIG_IGN); // as main does
    struct Row
    {
        const char *name;
        void (*spoil)(int out[2]);
        std::chrono::milliseconds longestWait;
    };
    for (const Row &row :
         {Row{"stalled", fill, 300ms},
          Row{"closed", [](int out[2]) { ::close(std::exchange(out[1], -1)); }, 10s},
          Row{"broken", [](int out[2]) { ::close(std::exchange(out[0], -1)); }, 10s}}) {
        CAPTURE(row.name);
        int out[2], err[2];
        REQUIRE((::pipe(out) == 0 && ::pipe(err) == 0));
        row.spoil(out);
        const int outFlags = ::fcntl(out[1], F_GETFL), errFlags = ::fcntl(err[1], F_GETFL);
        StdioStreams streams(out[1], err[1], row.longestWait);
        const auto start = std::chrono::steady_clock::now();
        streams.writeOut("OK 1\n");
        streams.writeOut("never waited for again\n");
        streams.writeErr("comutel: uma linha\n");
        // Generous: a stalled stream costs its bound, the others nothing, not the bound.
        CHECK(std::chrono::steady_clock::now() - start < 5s);
        char line[64] = {};
        CHECK(::read(err[0], line, sizeof line) == 19); // stderr's line, after stdout gave up
        CHECK(::fcntl(out[1], F_GETFL) == outFlags);
        CHECK(::fcntl(err[1], F_GETFL) == errFlags);
        for (int fd : {out[0], out[1], err[0], err[1]}) // the worker left blocked gets EPIPE
            if (fd >= 0)
                ::close(fd);
    }
}
