// Lock files: the pid each form names, which of them keep a port from us and which are removed,
// and our own, taken and given back.
#include "port_locks.h"
#include "scratch_folder.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>

namespace {

constexpr long kPidLimit = 32768;

std::string binary(std::int32_t pid)
{
    return std::string(reinterpret_cast<const char *>(&pid), sizeof pid);
}

std::string classic(long pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

long endedPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

TEST_CASE("the pid a lock file names")
{
    const struct
    {
        const char *what;
        std::string contents;
        long pid;
    } rows[] = {
        {"minicom", "      1234 minicom root\n", 1234},
        {"plain", "1234\n", 1234},
        {"four digits, no newline", "1234", 1234},
        {"binary", binary(4321), 4321},
        {"binary, a value no pid has", binary(kPidLimit + 1), 0},
        {"four bytes of text that are no pid", "abc\n", 0},
        {"empty", "", 0},
        {"garbage", "minicom\n", 0},
        {"digits run into garbage", "1234abc\n", 0},
        {"zero", "0000000000\n", 0},
        {"eleven digits", "12345678901\n", 0},
        {"beyond the pid limit", "99999\n", 0},
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        CHECK(portlocks::pidIn(row.contents, kPidLimit) == row.pid);
    }
}

TEST_CASE("which lock files keep the port, and which are removed before an open")
{
    enum Kind { File, Link, Fifo };
    const long live = ::getppid();
    const struct
    {
        const char *what;
        const char *name; // ttyS1 is a link to ttyUSB7
        Kind kind;
        std::string contents;
        long busyFor; // -1: not busy
        bool stale;   // removed by the check before an open
    } rows[] = {
        {"minicom's, under the link target's name", "ttyUSB7", File,
         "      " + std::to_string(live) + " minicom root\n", live, false},
        {"plain text", "ttyS1", File, std::to_string(live) + "\n", live, false},
        {"binary", "ttyS1", File, binary(static_cast<std::int32_t>(live)), live, false},
        {"binary, a value no pid has", "ttyS1", File, binary(portlocks::maxPid() + 1), 0, false},
        {"our own pid", "ttyS1", File, classic(::getpid()), -1, true},
        {"a process that has ended", "ttyUSB7", File, classic(endedPid()), -1, true},
        {"empty", "ttyS1", File, "", 0, false},
        {"abc", "ttyS1", File, "abc\n", 0, false},
        {"eleven digits", "ttyS1", File, "12345678901\n", 0, false},
        {"a link", "ttyS1", Link, "", 0, false},
        {"a FIFO", "ttyS1", Fifo, "", 0, false},
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        REQUIRE(devices.write("ttyUSB7", ""));
        REQUIRE(devices.link(devices / "ttyUSB7", "ttyS1"));
        const std::string lock = std::string("LCK..") + row.name;
        REQUIRE(locks.write("elsewhere", classic(live)));
        REQUIRE((row.kind == File   ? locks.write(lock, row.contents)
                 : row.kind == Link ? locks.link(locks / "elsewhere", lock)
                                    : ::mkfifo((locks / lock).c_str(), 0644) == 0));

        // As --ports looks: nothing removed.
        auto found = portlocks::lockFileOn(devices / "ttyS1", {locks.path()}, false);
        CHECK((found ? found->pid : -1) == row.busyFor);
        CHECK(locks.exists(lock));
        // As an open looks.
        found = portlocks::lockFileOn(devices / "ttyS1", {locks.path()});
        CHECK((found ? found->pid : -1) == row.busyFor);
        CHECK(locks.exists(lock) != row.stale);
    }
}

TEST_CASE("our own lock files: the classic form under both names, removed only while ours")
{
    ScratchFolder devices, locks;
    REQUIRE(devices.write("ttyUSB7", ""));
    REQUIRE(devices.link(devices / "ttyUSB7", "ttyS1"));
    std::vector<portlocks::OwnLock> own = portlocks::takeLocks(devices / "ttyS1", locks.path());
    REQUIRE(own.size() == 2);
    for (const char *name : {"LCK..ttyS1", "LCK..ttyUSB7"}) {
        struct stat info;
        REQUIRE(::stat((locks / name).c_str(), &info) == 0);
        CHECK((info.st_mode & 07777) == 0644);
        char text[32] = {};
        FILE *file = std::fopen((locks / name).c_str(), "r");
        REQUIRE(file);
        CHECK(std::fread(text, 1, sizeof text - 1, file) == 11);
        std::fclose(file);
        CHECK(std::string(text) == classic(::getpid()));
    }
    // A second taker makes none: the files are there.
    CHECK(portlocks::takeLocks(devices / "ttyS1", locks.path()).empty());
    // Someone else's lock in place of one of ours is left alone.
    REQUIRE(::unlink((locks / "LCK..ttyS1").c_str()) == 0);
    REQUIRE(locks.write("LCK..ttyS1", classic(::getppid())));
    portlocks::releaseLocks(own);
    CHECK(own.empty());
    CHECK(locks.exists("LCK..ttyS1"));
    CHECK(!locks.exists("LCK..ttyUSB7"));
}
