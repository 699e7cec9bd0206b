// The real port against pseudo-terminals: each case links a fresh pty as COM2 (ttyS1) in a
// folder of its own, plays the board on the master side, and runs the loop's part itself.
#include "posix/termios_port.h"
#include "tests/pty_board.h"
#include "tests/scratch_folder.h"
#include "tests/skip.h"
#include "tests/test_fd_watcher.h"

#include <thread>

#include <sys/file.h>
#include <sys/ioctl.h>

namespace {

struct Bench
{
    ScratchFolder devices, locks;
    PtyPair board;
    TestFdWatcher watcher;
    std::vector<CommEvent> events;

    bool ready() { return board.open() && devices.link(board.slavePath(), "ttyS1"); }
    TermiosPort::Places places() const { return {portnames::comPorts(devices.path), {locks.path}}; }
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
    const std::string pid = std::to_string(::getpid()); // in ten characters, and a newline
    CHECK(contents(bench.locks / "LCK..ttyS1") == std::string(10 - pid.size(), ' ') + pid + '\n');
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
    std::thread board([&] { received = readBoard(bench.board, command.size()); });
    REQUIRE(port.setPortOpen(false)); // no loop in between
    board.join();
    CHECK((!port.portOpen() && bench.locks.exists("LCK..ttyS1")));
    CHECK(received == command);
}

TEST_CASE("input is what came after the open, up to the input buffer; a pty left in exclusive "
          "mode by a program that ended is root's to take, and to clear")
{
    Bench bench;
    REQUIRE_BENCH(bench);
    REQUIRE(writeBoard(bench.board, "stale")); // waiting before the open: no answer to our command
    // Nothing holds the pty open any more.
    REQUIRE((::ioctl(bench.board.slave(), TIOCEXCL) == 0 &&
             ::dup2(bench.board.master(), bench.board.slave()) >= 0));
    TermiosPort port(bench.places(), bench.watcher);
    CommSettings settings;
    settings.InBufferSize = 5;
    REQUIRE(bench.open(port, settings));
    REQUIRE(writeBoard(bench.board, "ABCDEFG")); // overruns the five bytes of the input buffer
    while (bench.events.empty() && bench.watcher.runOnce()) {
    }
    CHECK(port.input() == "ABCDE");
    CHECK(bench.events == std::vector<CommEvent>{comEvReceive});
    REQUIRE(port.setPortOpen(false));
    int exclusive = -1, again = ::open(bench.board.slavePath().c_str(), O_RDWR | O_NOCTTY);
    CHECK((::ioctl(again, TIOCGEXCL, &exclusive) == 0 && exclusive == 0 && ::close(again) == 0));
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

TEST_CASE("an open refused by another's flock says who holds it, leaving no lock of ours")
{
    Bench bench;
    REQUIRE_BENCH(bench);
    const int holder = ::open(bench.board.slavePath().c_str(), O_RDWR | O_NOCTTY);
    REQUIRE((holder >= 0 && ::flock(holder, LOCK_EX) == 0));
    TermiosPort port(bench.places(), bench.watcher);
    CHECK(!bench.open(port));
    const std::string pid = std::to_string(::getpid());
    CHECK(port.openProblem().rfind(
              "COM2 (" + bench.devices / "ttyS1" + "): em uso por outro programa (PID " + pid, 0) ==
          0);
    CHECK((!port.portOpen() && !bench.locks.exists("LCK..ttyS1")));
    ::close(holder);
}
