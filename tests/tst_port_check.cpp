// What --ports tells of a device, without ever opening it, and the same words from an open that
// fails: free, busy (and by whom), missing, no permission (and what to do), not a serial port.
#include "doctest_skip.h"
#include "port_check.h"
#include "port_listing.h"
#include "pty_pair.h"
#include "scratch_folder.h"
#include "termios_port.h"
#include "test_fd_watcher.h"

#include <grp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>

namespace {

constexpr uid_t kNobody = 65534;

long endedPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

int opensSeen(int inotify)
{
    char buffer[4096];
    int count = 0;
    for (ssize_t size; (size = ::read(inotify, buffer, sizeof buffer)) > 0;)
        count += static_cast<int>(size / sizeof(inotify_event));
    return count;
}

// As user nobody with gid alone: check()'s words, then the open's line.
std::string checkAndOpenAsNobody(gid_t gid, const std::string &devices, const std::string &locks)
{
    int out[2];
    REQUIRE(::pipe(out) == 0);
    if (::fork() == 0) {
        std::string text = "no setuid";
        if (::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(kNobody) == 0) {
            TestFdWatcher watcher;
            TermiosPort port({devices, {}, {locks}, {}}, watcher);
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

TEST_CASE("what --ports tells, without opening the device")
{
    enum Kind { Plain, LiveLock, StaleLock, Flocked, Missing, File };
    const std::string inUse = "em uso por outro programa (PID ";
    const struct
    {
        const char *what;
        Kind kind;
        std::string state;
    } rows[] = {
        // clang-format off
        {"free", Plain, "livre"},
        {"another's lock", LiveLock, inUse + std::to_string(::getppid()) + ")"},
        {"a stale lock, left in place", StaleLock, "livre"},
        {"an flock", Flocked, inUse + std::to_string(::getpid()) + ")"},
        {"missing", Missing, "dispositivo ausente"},
        {"a plain file", File, "não é uma porta serial em funcionamento (não é um dispositivo de caracteres)"},
        // clang-format on
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        PtyPair board;
        if (!board.open())
            COMUTEL_SKIP("sem pseudo-terminal: " << board.error());
        const bool pty = row.kind != Missing && row.kind != File;
        REQUIRE((pty ? devices.link(board.slavePath(), "ttyUSB0") : devices.write("ttyUSB0", "")));
        if (row.kind == Missing)
            REQUIRE(::unlink((devices / "ttyUSB0").c_str()) == 0);
        const long lockPid = row.kind == LiveLock ? ::getppid() : endedPid();
        if (row.kind == LiveLock || row.kind == StaleLock)
            REQUIRE(locks.write("LCK..ttyUSB0", std::to_string(lockPid) + "\n"));
        const int holder = ::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY);
        REQUIRE((holder >= 0 && (row.kind != Flocked || ::flock(holder, LOCK_EX) == 0)));
        const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        REQUIRE(::inotify_add_watch(inotify, board.slavePath().c_str(), IN_OPEN) >= 0);

        portnames::PortMap map;
        map.ports.resize(5);
        map.ports[4] = {devices / "ttyUSB0", portnames::Origin::UserMap, "com5"};
        const std::string line = "COM5  " + devices / "ttyUSB0" + "  usuário (com5)  " + row.state;
        CHECK(portListing(map, {locks.path()}) == std::vector<std::string>{line});
        CHECK(opensSeen(inotify) == 0);
        CHECK(locks.exists("LCK..ttyUSB0") == (row.kind == LiveLock || row.kind == StaleLock));
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
    CHECK(portListing(map, {}) ==
          std::vector<std::string>{"COM2  /nonexistent/by-id/board  padrão, só esta "
                                   "(COMUTEL_DEVICE)  dispositivo ausente"});
}

TEST_CASE("as an ordinary user: permissions, and a stale lock that cannot be removed")
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
    } rows[] = {
        // clang-format off
        {"not in the group", 0, 0, kNobody, 0660, noPermission + "o usuário precisa pertencer ao grupo root, dono do dispositivo (normalmente dialout)"},
        {"the group may not open it either", 0, kNobody, kNobody, 0600, noPermission + "só o root pode abri-lo"},
        {"in the group, not yet in this session", 0, kNobody, kNobody - 1, 0660, noPermission + "o usuário já está no grupo nogroup, mas esta sessão ainda não: entre de novo na sessão"},
        {"a stale lock of root's in a sticky folder", kNobody, 0, kNobody, 0600, "livre"},
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
                 ::chmod(devices.path().c_str(), 0755) == 0 &&
                 ::chmod(locks.path().c_str(), 01777) == 0 &&
                 locks.write("LCK..ttyS1", std::to_string(endedPid()) + "\n")));
        const std::string open =
            row.state == "livre" ? "aberta" : "COM2 (" + devices / "ttyS1" + "): " + row.state;
        CHECK(checkAndOpenAsNobody(row.processGroup, devices.path(), locks.path()) ==
              row.state + '|' + open);
        CHECK(locks.exists("LCK..ttyS1"));
    }
}
