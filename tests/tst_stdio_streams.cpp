// The standard streams at the end of a run: a reader that does not read, or none at all, costs a
// bounded wait or nothing, and the caller's own file descriptions are left as they were.
#include "stdio_streams.h"

#include <doctest/doctest.h>

#include <csignal>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A pipe whose writing end would block: filled to the brim, then blocking again.
void fill(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0 || ::write(fd, "x", 1) > 0) {
    }
    ::fcntl(fd, F_SETFL, flags);
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
    const Row rows[] = {
        {"stalled", [](int out[2]) { fill(out[1]); }, 300ms},
        {"closed", [](int out[2]) { ::close(std::exchange(out[1], -1)); }, 10s},
        {"broken", [](int out[2]) { ::close(std::exchange(out[0], -1)); }, 10s},
    };
    for (const Row &row : rows) {
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
        // The worker left blocked on the stalled pipe ends with EPIPE.
        for (int fd : {out[0], out[1], err[0], err[1]})
            if (fd >= 0)
                ::close(fd);
    }
}

TEST_CASE("a standard stream the caller closed is reopened on /dev/null")
{
    const pid_t child = ::fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        ::close(STDOUT_FILENO);
        StdioStreams::keepStandardStreamsOpen();
        struct stat opened, null;
        ::_exit(::fstat(STDOUT_FILENO, &opened) == 0 && ::stat("/dev/null", &null) == 0 &&
                        opened.st_rdev == null.st_rdev
                    ? 0
                    : 1);
    }
    int status = 0;
    REQUIRE(::waitpid(child, &status, 0) == child);
    CHECK((WIFEXITED(status) && WEXITSTATUS(status) == 0));
}
