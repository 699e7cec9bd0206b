// Command mode's own loop and what it ends with: watched descriptors, the wait and the end; a
// termination signal through the self-pipe; the standard streams' bounded wait at the very end.
#include "posix/poll_loop.h"
#include "posix/stdio_streams.h"
#include "posix/termination_signals.h"

#include <doctest/doctest.h>

#include <csignal>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST_CASE("watches: unwatched from a handler, even one already polled; watched from one")
{
    int first[2], second[2], third[2];
    REQUIRE((::pipe(first) == 0 && ::pipe(second) == 0 && ::pipe(third) == 0));
    for (int fd : {first[1], second[1], third[1]})
        REQUIRE(::write(fd, "ab", 2) == 2);
    PollLoop loop;
    int firstCalls = 0, secondCalls = 0;
    loop.watch(first[0], [&] {
        ++firstCalls; // its pipe stays readable: a watch left in place would come again
        loop.unwatch(first[0]);
        loop.unwatch(second[0]);
        loop.watch(third[0], [&] { loop.end(7); });
    });
    loop.watch(second[0], [&] { ++secondCalls; });
    CHECK(loop.run() == 7);
    CHECK(firstCalls == 1);
    CHECK(secondCalls == 0);
}

TEST_CASE("a termination signal ends a run, and then the process by that signal; the loop waits "
          "for it asleep")
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGHUP, SIG_IGN); // as under nohup: stays ignored
        TerminationSignals signals;
        PollLoop loop;
        loop.watch(signals.fd(), [&] { loop.end(signals.consume() ? signals.received() : 1); });
        auto sender = loop.createTimer([] { ::raise(SIGHUP), ::raise(SIGTERM); });
        sender->start(100ms);
        const int received = loop.run();
        sigset_t blocked;
        ::sigfillset(&blocked);
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr); // reraise gets through a blocked signal
        TerminationSignals::reraise(received);
    }
    int status = 0;
    rusage usage{};
    REQUIRE(::wait4(child, &status, 0, &usage) == child);
    CHECK((WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM));
    CHECK((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec == 0 && // waiting 100 ms, not busy
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec < 20000));
}

// A pipe whose writing end would block: filled to the brim, then blocking again.
static void fill(int out[2])
{
    const int flags = ::fcntl(out[1], F_GETFL);
    ::fcntl(out[1], F_SETFL, flags | O_NONBLOCK);
    while (::write(out[1], std::string(4096, 'x').data(), 4096) > 0 ||
           ::write(out[1], "x", 1) > 0) {
    }
    ::fcntl(out[1], F_SETFL, flags);
}

TEST_CASE("a stalled, a closed or a broken standard output holds up neither the run nor stderr")
{
    std::signal(SIGPIPE, SIG_IGN); // as main does
    using Row = std::tuple<const char *, void (*)(int *), std::chrono::milliseconds>;
    for (const auto &[name, spoil, longestWait] : {
             Row{"stalled", fill, 300ms},
             Row{"closed", [](int out[2]) { ::close(std::exchange(out[1], -1)); }, 10s},
             Row{"broken", [](int out[2]) { ::close(std::exchange(out[0], -1)); }, 10s},
         }) {
        CAPTURE(name);
        int out[2], err[2];
        REQUIRE((::pipe(out) == 0 && ::pipe(err) == 0));
        spoil(out);
        const int outFlags = ::fcntl(out[1], F_GETFL), errFlags = ::fcntl(err[1], F_GETFL);
        StdioStreams streams(out[1], err[1], longestWait);
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
    }
}
