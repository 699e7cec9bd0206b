// What an open of a serial device would meet, as `--ports` tells it opening no device but a free-
// looking pty: every form of lock file (and which an open removes first), an flock, exclusive
// mode, a missing device, no permission (and what to do), not a serial port; and an open's words.
#include "posix/port_check.h"
#include "posix/port_listing.h"
#include "posix/termios_port.h"
#include "tests/scratch_folder.h"
#include "tests/skip.h"
#include "tests/test_fd_watcher.h"
#include "tools/pty/pty_pair.h"

#include <cstdint>

#include <grp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

namespace {

long endedPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

std::string binary(long pid)
{
    const auto value = static_cast<std::int32_t>(pid);
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
}

int opensSeen(int inotify)
{
    char buffer[4096];
    int count = 0;
    for (ssize_t size; (size = ::read(inotify, buffer, sizeof buffer)) > 0;)
        count += static_cast<int>(size / sizeof(inotify_event));
    return count;
}

// As user nobody with gid alone, holding nothing open: check()'s words, then the open's line.
std::string checkAndOpenAsNobody(gid_t gid, const std::string &devices, const std::string &locks)
{
    int out[2];
    REQUIRE(::pipe(out) == 0);
    if (::fork() == 0) {
        for (int fd = 3; fd < 256; ++fd) // the pty's ends are ours, not this user's
            fd == out[1] || ::close(fd);
        std::string text = "no setuid";
        if (::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(kNobody) == 0) {
            TestFdWatcher watcher;
            TermiosPort port({portnames::comPorts(devices), {locks}}, watcher);
            text = portcheck::describe(portcheck::check(devices + "/ttyS1", {locks})) + '|';
            text += port.configure({}) && port.setCommPort(2) && port.setPortOpen(true)
                        ? "aberta"
                        : port.openProblem();
        }
        ::_exit(::write(out[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    ::close(out[1]);
    std::string text(4096, '\0');
    text.resize(std::max<ssize_t>(::read(out[0], &text[0], text.size()), 0));
    ::close(out[0]);
    ::wait(nullptr);
    return text;
}

} // namespace

TEST_CASE("lock files, flocks and devices as --ports tells them, opening only a free-looking pty")
{
    enum Kind { File, Link, Fifo, Flock, Missing, PlainFile };
    const long live = ::getppid();
    const std::string self = std::to_string(::getpid());
    const std::string pid = std::to_string(live),
                      busy = "em uso por outro programa (PID " + pid + ")";
    const std::string naming = "em uso por outro programa (trava ",
                      notSerial = "não é uma porta serial em funcionamento";
    // name: the lock's, "ttyS1" the link's or "" the pty's it leads to; stale: removed by an open;
    // age: in seconds since the file changed; owner: the file's.
    const struct
    {
        const char *what, *name;
        Kind kind;
        std::string contents, state;
        bool stale;
        int age = 0;
        uid_t owner = 0;
    } rows[] = {
        // clang-format off
        {"minicom's, under the pty's name", "", File, "  " + pid + " minicom root\n", busy, false},
        {"plain text", "ttyS1", File, pid + "\n", busy, false},
        {"binary", "ttyS1", File, binary(live), busy, false},
        {"binary, a value no pid has", "ttyS1", File, binary(portlocks::maxPid() + 1), naming, 0},
        {"our own pid", "ttyS1", File, "      " + self + "\n", "livre", true},
        {"a process that has ended", "", File, std::to_string(endedPid()) + "\n", "livre", true},
        {"empty", "ttyS1", File, "", naming, false},
        {"empty, a minute old", "ttyS1", File, "", "livre", true, 60},
        {"forged: root's process, nobody's file", "", File, pid + "\n", "livre", true, 0, kNobody},
        {"four bytes of text that are no pid", "ttyS1", File, "abc\n", naming, false},
        {"digits run into garbage", "ttyS1", File, pid + "abc\n", naming, false},
        {"zero", "ttyS1", File, "0000000000\n", naming, false},
        {"eleven digits", "ttyS1", File, "12345678901\n", naming, false},
        {"129 bytes", "ttyS1", File, std::string(128 - pid.size(), ' ') + pid + "7\n", naming, 0},
        {"a link", "ttyS1", Link, "", naming, false},
        {"a FIFO", "ttyS1", Fifo, "", naming, false},
        {"an flock", "", Flock, "", "em uso por outro programa (PID " + self + ")", false},
        {"missing", "", Missing, "", "dispositivo ausente", false},
        {"a plain file", "", PlainFile, "", notSerial + " (não é um dispositivo de caracteres)", 0},
        // clang-format on
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        PtyPair board;
        if (!board.open())
            COMUTEL_SKIP("sem pseudo-terminal: " << board.error());
        const bool pty = row.kind != Missing && row.kind != PlainFile;
        REQUIRE((pty ? devices.link(board.slavePath(), "ttyS1") : devices.write("ttyS1", "")));
        if (row.kind == Missing)
            REQUIRE(::unlink((devices / "ttyS1").c_str()) == 0);
        const std::string lock = "LCK.." + (*row.name ? row.name : board.slavePath().substr(9));
        REQUIRE(locks.write("elsewhere", pid));
        REQUIRE((row.kind == File   ? locks.write(lock, row.contents)
                 : row.kind == Link ? locks.link(locks / "elsewhere", lock)
                 : row.kind == Fifo ? ::mkfifo((locks / lock).c_str(), 0644) == 0
                                    : true));
        const timespec changed[2] = {{::time(nullptr) - row.age, 0},
                                     {::time(nullptr) - row.age, 0}};
        REQUIRE((row.kind != File || ::chown((locks / lock).c_str(), row.owner, 0) == 0));
        REQUIRE((row.age == 0 || ::utimensat(AT_FDCWD, (locks / lock).c_str(), changed, 0) == 0));
        const int holder = ::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY);
        REQUIRE((holder >= 0 && (row.kind != Flock || ::flock(holder, LOCK_EX) == 0)));
        const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        REQUIRE(::inotify_add_watch(inotify, board.slavePath().c_str(), IN_OPEN) >= 0);

        portnames::PortMap map;
        map.ports.resize(2);
        map.ports[1] = {devices / "ttyS1", portnames::Origin::UserMap, "com2"};
        const std::vector<std::string> lines = portListing({}, map, {locks.path});
        REQUIRE(lines.size() == 1);
        CHECK(lines[0].find("COM2  " + devices / "ttyS1" + "  usuário (com2)  " + row.state) == 0);
        CHECK(opensSeen(inotify) == (row.state == "livre")); // to ask for its exclusive mode
        const bool lockMade = row.kind <= Fifo;
        CHECK(locks.exists(lock) == lockMade); // --ports removes nothing; an open removes the stale
        std::vector<portlocks::LockFile> forged;
        CHECK(portlocks::lockFileOn(devices / "ttyS1", {locks.path}, true, &forged).has_value() ==
              (lockMade && !row.stale));
        CHECK(forged.size() == (row.stale && row.owner != 0)); // named on standard error
        CHECK(locks.exists(lock) == (lockMade && !row.stale));
        ::close(::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY));
        CHECK(opensSeen(inotify) == 1); // the watch itself sees an open
        ::close(inotify);
        ::close(holder);
    }
}

TEST_CASE("the device COMUTEL_DEVICE pins is marked in the listing, even when missing")
{
    portnames::PortMap map = portnames::comPorts("/nonexistent");
    portnames::pinTo(map, "/nonexistent/by-id/board");
    CHECK(portListing(portnames::searchPlan(map), map, {}) ==
          std::vector<std::string>{"COM2  /nonexistent/by-id/board  padrão, só esta "
                                   "(COMUTEL_DEVICE)  dispositivo ausente"});
}

TEST_CASE("as an ordinary user: permissions, exclusive mode, a stale lock it may not remove")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root para preparar arquivos de outros usuários");
    const std::string noPermission = "sem permissão; ";
    const struct
    {
        const char *what;
        uid_t owner;
        gid_t group, processGroup;
        mode_t mode;
        std::string state;
        bool exclusive = false;
    } rows[] = {
        // clang-format off
        {"not in the group", 0, 0, kNobody, 0660, noPermission + "o usuário precisa pertencer "
         "ao grupo root, dono do dispositivo (normalmente dialout)"},
        {"the group may not open it either", 0, kNobody, kNobody, 0600,
         noPermission + "só o root pode abri-lo"},
        {"in the group, not yet in this session", 0, kNobody, kNobody - 1, 0660, noPermission +
         "o usuário já está no grupo nogroup, mas esta sessão ainda não: entre de novo na sessão"},
        {"a stale lock of root's in a sticky folder", kNobody, 0, kNobody, 0600, "livre"},
        {"in exclusive mode, no holder in sight", 0, kNobody, kNobody, 0660,
         portcheck::describe({portcheck::State::LeftExclusive, {}}), true},
        // clang-format on
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        PtyPair board;
        if (!board.open())
            COMUTEL_SKIP("sem pseudo-terminal: " << board.error());
        REQUIRE((devices.link(board.slavePath(), "ttyS1") &&
                 ::chown(board.slavePath().c_str(), row.owner, row.group) == 0 &&
                 ::chmod(board.slavePath().c_str(), row.mode) == 0 &&
                 (!row.exclusive || ::ioctl(board.slave(), TIOCEXCL) == 0) &&
                 ::chmod(devices.path.c_str(), 0755) == 0 &&
                 ::chmod(locks.path.c_str(), 01777) == 0 &&
                 locks.write("LCK..ttyS1", std::to_string(endedPid()) + "\n")));
        const std::string open =
            row.state == "livre" ? "aberta" : "COM2 (" + devices / "ttyS1" + "): " + row.state;
        CHECK(checkAndOpenAsNobody(row.processGroup, devices.path, locks.path) ==
              row.state + '|' + open);
        CHECK(locks.exists("LCK..ttyS1"));
    }
}
