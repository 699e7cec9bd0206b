// Lock files: which forms keep a port from us, which are removed before an open, and our own,
// taken and given back.
#include "port_locks.h"
#include "scratch_folder.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstdio>

#include <sys/wait.h>

namespace {

std::string binary(long pid)
{
    const auto value = static_cast<std::int32_t>(pid);
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
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

TEST_CASE("which lock files keep the port, and which are removed before an open")
{
    enum Kind { File, Link, Fifo };
    const long live = ::getppid();
    const std::string pid = std::to_string(live);
    const struct
    {
        const char *what, *name; // ttyS1 is a link to ttyUSB7
        Kind kind;
        std::string contents;
        long busyFor; // -1: not busy
    } rows[] = {
        // clang-format off
        {"minicom's, under the link target's name", "ttyUSB7", File, "      " + pid + " minicom root\n", live},
        {"plain text", "ttyS1", File, pid + "\n", live},
        {"digits alone", "ttyS1", File, pid, live},
        {"binary", "ttyS1", File, binary(live), live},
        {"binary, a value no pid has", "ttyS1", File, binary(portlocks::maxPid() + 1), 0},
        {"our own pid", "ttyS1", File, classic(::getpid()), -1},
        {"a process that has ended", "ttyUSB7", File, classic(endedPid()), -1},
        {"empty", "ttyS1", File, "", 0},
        {"four bytes of text that are no pid", "ttyS1", File, "abc\n", 0},
        {"digits run into garbage", "ttyS1", File, pid + "abc\n", 0},
        {"zero", "ttyS1", File, "0000000000\n", 0},
        {"eleven digits", "ttyS1", File, "12345678901\n", 0},
        {"a link", "ttyS1", Link, "", 0},
        {"a FIFO", "ttyS1", Fifo, "", 0},
        // clang-format on
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        REQUIRE((devices.write("ttyUSB7", "") && devices.link(devices / "ttyUSB7", "ttyS1")));
        const std::string lock = std::string("LCK..") + row.name;
        REQUIRE(locks.write("elsewhere", classic(live)));
        REQUIRE((row.kind == File   ? locks.write(lock, row.contents)
                 : row.kind == Link ? locks.link(locks / "elsewhere", lock)
                                    : ::mkfifo((locks / lock).c_str(), 0644) == 0));
        // As --ports looks, removing nothing; then as an open looks.
        for (const bool removeStale : {false, true}) {
            const auto found =
                portlocks::lockFileOn(devices / "ttyS1", {locks.path()}, removeStale);
            CHECK((found ? found->pid : -1) == row.busyFor);
            CHECK(locks.exists(lock) == (!removeStale || row.busyFor >= 0));
        }
    }
}

TEST_CASE("our own lock files: the classic form under both names, removed only while ours")
{
    ScratchFolder devices, locks;
    REQUIRE((devices.write("ttyUSB7", "") && devices.link(devices / "ttyUSB7", "ttyS1")));
    std::vector<portlocks::OwnLock> own = portlocks::takeLocks(devices / "ttyS1", locks.path());
    REQUIRE(own.size() == 2);
    for (const char *name : {"LCK..ttyS1", "LCK..ttyUSB7"}) {
        struct stat info;
        char text[32] = {};
        FILE *file = std::fopen((locks / name).c_str(), "r");
        REQUIRE((file && ::fstat(fileno(file), &info) == 0));
        CHECK((info.st_mode & 07777) == 0644);
        CHECK(std::fread(text, 1, sizeof text - 1, file) == 11);
        CHECK(std::string(text) == classic(::getpid()));
        std::fclose(file);
    }
    CHECK(portlocks::takeLocks(devices / "ttyS1", locks.path()).empty()); // never over a file
    // Someone else's lock in place of one of ours is left alone.
    REQUIRE((::unlink((locks / "LCK..ttyS1").c_str()) == 0 &&
             locks.write("LCK..ttyS1", classic(::getppid()))));
    portlocks::releaseLocks(own);
    CHECK((own.empty() && locks.exists("LCK..ttyS1") && !locks.exists("LCK..ttyUSB7")));
}
