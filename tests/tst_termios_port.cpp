// The real port against pseudo-terminals: each case links a fresh pty as COM2 (ttyS1) in a
// folder of its own, plays the board on the master side, and runs the loop's part itself.
#include "doctest_skip.h"
#include "pty_pair.h"
#include "scratch_folder.h"
#include "termios_port.h"
#include "test_fd_watcher.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include <sys/file.h>

namespace {

struct Bench
{
    ScratchFolder devices, locks;
    PtyPair board;
    TestFdWatcher watcher;
    std::vector<CommEvent> events;

    bool ready() { return board.open() && devices.link(board.slavePath(), "ttyS1"); }
    TermiosPort::Places places() const { return {devices.path, {}, {locks.path}, {}}; }
    bool open(TermiosPort &port, const CommSettings &settings = {})
    {
        port.setCommHandler([this](CommEvent event) { events.push_back(event); });
        return port.configure(settings) && port.setCommPort(2) && port.setPortOpen(true);
    }
    // Ours go under the link's name and the name of the pty it leads to.
    bool holdsLocks(bool held) const
    {
        const std::string pty = board.slavePath().substr(board.slavePath().rfind('/') + 1);
        return locks.exists("LCK..ttyS1") == held && locks.exists("LCK.." + pty) == held;
    }
    std::string readBoard(size_t count)
    {
        std::string bytes;
        char buffer[4096];
        pollfd wait{board.master(), POLLIN, 0};
        for (ssize_t size = 1; size > 0 && bytes.size() < count && ::poll(&wait, 1, 5000) > 0;) {
            size = ::read(board.master(), buffer, sizeof buffer);
            bytes.append(buffer, static_cast<size_t>(std::max<ssize_t>(size, 0)));
        }
        return bytes;
    }
    bool writeBoard(const std::string &bytes)
    {
        return ::write(board.master(), bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
};

#define REQUIRE_BENCH(bench)                                                                       \
    if (!(bench).ready())                                                                          \
    COMUTEL_SKIP("sem pseudo-terminal: " << (bench).board.error())

} // namespace

TEST_CASE("the line while open, our locks, and every byte out before the close")
{
    Bench bench;
    REQUIRE_BENCH(bench);
    TermiosPort port(bench.places(), bench.watcher);
    CommSettings settings;
    settings.OutBufferSize = 256 * 1024; // more than the pty takes at once: some waits in ours
    REQUIRE_MESSAGE(bench.open(port, settings), port.errorString()); // DTR/RTS refused on a pty
    CHECK(port.settings() == "300,n,8,1");
    CHECK(bench.holdsLocks(true));
    char lock[16] = {};
    std::FILE *file = std::fopen((bench.locks / "LCK..ttyS1").c_str(), "r");
    REQUIRE((file && std::fread(lock, 1, sizeof lock, file) == 11 && std::fclose(file) == 0));
    CHECK((std::atol(lock) == ::getpid() && lock[10] == '\n')); // ten characters and a newline
    // Someone else's lock put in place of one of ours stays.
    REQUIRE((::unlink((bench.locks / "LCK..ttyS1").c_str()) == 0 &&
             bench.locks.write("LCK..ttyS1", std::to_string(::getppid()))));
    termios line;
    REQUIRE(::tcgetattr(bench.board.slave(), &line) == 0);
    CHECK((::cfgetospeed(&line) == B300 && ::cfgetispeed(&line) == B300));
    CHECK((line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD)) ==
          (CS8 | CLOCAL | CREAD)); // 8N1, no RTS/CTS, modem lines ignored
    CHECK(((line.c_iflag & (IXON | IXOFF | ICRNL)) | (line.c_lflag & (ICANON | ECHO | ISIG)) |
           (line.c_oflag & OPOST)) == 0); // raw

    std::string command(settings.OutBufferSize, 'x');
    command.back() = '8';
    CHECK(!port.output(command + "9")); // past the output buffer: refused whole
    REQUIRE(port.output(command));
    std::string received;
    std::thread board([&] { received = bench.readBoard(command.size()); });
    REQUIRE(port.setPortOpen(false)); // no loop in between
    board.join();
    CHECK((!port.portOpen() && bench.locks.exists("LCK..ttyS1")));
    CHECK(received == command);
}

TEST_CASE("input is what came after the open, without NULs, up to the input buffer")
{
    Bench bench;
    REQUIRE_BENCH(bench);
    REQUIRE(bench.writeBoard("stale")); // waiting before the open: no answer to our command
    TermiosPort port(bench.places(), bench.watcher);
    CommSettings settings;
    settings.InBufferSize = 5;
    REQUIRE(bench.open(port, settings));
    REQUIRE(bench.writeBoard(std::string("A\0B\0\0C\0", 7)));
    std::string received;
    while (received.size() < 3 && bench.watcher.runOnce())
        received += port.input();
    CHECK(received == "ABC");
    REQUIRE(bench.writeBoard("DEFGHIJ")); // overruns the five bytes of the input buffer
    while (bench.events.size() < 2 && bench.watcher.runOnce()) {
    }
    CHECK(port.input() == "DEFGH");
    CHECK(bench.events == std::vector<CommEvent>{comEvReceive, comEvReceive});
}

TEST_CASE("a hang-up closes the port once, from the loop, and gives back our locks")
{
    Bench bench;
    REQUIRE_BENCH(bench);
    TermiosPort port(bench.places(), bench.watcher);
    REQUIRE(bench.open(port));
    bench.board.close();
    CHECK(port.portOpen()); // nothing happens behind the controller's back
    while (bench.events.empty() && bench.watcher.runOnce()) {
    }
    CHECK(bench.events == std::vector<CommEvent>{comEvPortLost});
    CHECK((!port.portOpen() && bench.holdsLocks(false)));
    CHECK(!bench.watcher.runOnce(0)); // nothing watched any more: no second event
}

TEST_CASE("opens refused, each with its line, leaving no lock of ours")
{
    enum Hold { Flock, OnlyMissing };
    const struct
    {
        const char *what;
        Hold hold;
        std::string problem; // after "COM2 (<device>): "
    } rows[] = {
        {"an flock", Flock, "em uso por outro programa (PID " + std::to_string(::getpid()) + ")"},
        {"COMUTEL_DEVICE missing", OnlyMissing, "dispositivo ausente"},
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        Bench bench;
        REQUIRE_BENCH(bench);
        const int holder = ::open(bench.board.slavePath().c_str(), O_RDWR | O_NOCTTY);
        REQUIRE((holder >= 0 && (row.hold != Flock || ::flock(holder, LOCK_EX) == 0)));
        TermiosPort::Places places = bench.places();
        places.onlyDevice = row.hold == OnlyMissing ? bench.devices / "gone" : "";
        TermiosPort port(places, bench.watcher);
        CHECK(!bench.open(port));
        CHECK(port.onlyPort() == (places.onlyDevice.empty() ? std::nullopt : std::optional(2)));
        const std::string device = bench.devices / (row.hold == OnlyMissing ? "gone" : "ttyS1");
        CHECK(port.openProblem().rfind("COM2 (" + device + "): " + row.problem, 0) == 0);
        CHECK(!port.portOpen());
        CHECK(!bench.locks.exists("LCK..ttyS1"));
        ::close(holder);
    }
}

TEST_CASE("line settings that are not a line are refused")
{
    Bench bench;
    CommSettings settings;
    for (const char *line : {"300,x,8,1", "300,n,9,1", "301,n,8,1", "300,n,8,3", "300,n,8", ""}) {
        settings.Settings = line;
        CHECK_MESSAGE(!TermiosPort(bench.places(), bench.watcher).configure(settings), line);
    }
}
