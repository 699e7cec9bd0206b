// The poll loop of command mode: its timers, its watched descriptors and its end, and a
// termination signal reaching it through the self-pipe.
#include "poll_loop.h"
#include "termination_signals.h"

#include <doctest/doctest.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST_CASE("timers tick in order; a stop or an end inside a round takes effect at once")
{
    PollLoop loop;
    std::string ticks;
    std::vector<EventLoop::Clock::time_point> fastAt;
    std::unique_ptr<Timer> stopped, slow, selfDestroyed;
    auto fast = loop.createTimer([&] {
        ticks += 'f';
        fastAt.push_back(loop.now());
        stopped->stop(); // due in this same round, yet never delivered
        if (fastAt.size() == 4)
            loop.end(5);
    });
    stopped = loop.createTimer([&] { ticks += 'x'; });
    slow = loop.createTimer([&] { ticks += 's'; });
    selfDestroyed = loop.createTimer([&] {
        ticks += 'd';
        selfDestroyed.reset(); // its own handler is still running
    });
    fast->start(20ms);
    stopped->start(20ms);
    selfDestroyed->start(20ms);
    slow->start(1h);
    std::this_thread::sleep_for(100ms); // five intervals behind before the loop even runs
    CHECK(loop.run() == 5);
    CHECK(ticks == "fdfff");
    CHECK(!stopped->isActive());
    for (std::size_t i = 1; i < fastAt.size(); ++i)
        CHECK(fastAt[i] - fastAt[i - 1] >= 10ms); // what was missed is skipped, not burst
}

TEST_CASE("an end before run returns at once")
{
    PollLoop loop;
    auto timer = loop.createTimer([&] { loop.end(1); });
    timer->start(1ms);
    loop.end(3);
    CHECK(loop.run() == 3);
}

TEST_CASE("watches: unwatched from a handler, even one already polled; watched from one")
{
    int first[2], second[2], third[2];
    REQUIRE((::pipe(first) == 0 && ::pipe(second) == 0 && ::pipe(third) == 0));
    for (int fd : {first[1], second[1], third[1]})
        REQUIRE(::write(fd, "ab", 2) == 2);
    PollLoop loop;
    int firstCalls = 0, secondCalls = 0;
    loop.watch(first[0], [&] {
        ++firstCalls;
        char byte;
        CHECK(::read(first[0], &byte, 1) == 1); // one byte of two: still readable
        loop.unwatch(first[0]);
        loop.unwatch(second[0]);
        loop.watch(third[0], [&] { loop.end(7); });
    });
    loop.watch(second[0], [&] { ++secondCalls; });
    CHECK(loop.run() == 7);
    CHECK(firstCalls == 1);
    CHECK(secondCalls == 0);
    for (int fd : {first[0], first[1], second[0], second[1], third[0], third[1]})
        ::close(fd);
}

TEST_CASE("a termination signal ends a run, and then the process by that signal")
{
    const pid_t child = ::fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        ::signal(SIGHUP, SIG_IGN); // as under nohup: stays ignored
        TerminationSignals signals;
        PollLoop loop;
        loop.watch(signals.fd(), [&] { loop.end(signals.consume() ? signals.received() : 1); });
        auto sender = loop.createTimer([] {
            ::raise(SIGHUP);
            ::raise(SIGTERM);
        });
        sender->start(10ms);
        const int received = loop.run();
        sigset_t blocked;
        ::sigemptyset(&blocked);
        ::sigaddset(&blocked, received);
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr); // reraise gets through a blocked signal too
        TerminationSignals::reraise(received);
    }
    int status = 0;
    REQUIRE(::waitpid(child, &status, 0) == child);
    REQUIRE(WIFSIGNALED(status));
    CHECK(WTERMSIG(status) == SIGTERM);
}
