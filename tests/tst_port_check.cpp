// What --ports tells of a device, without ever opening it, and the same word from an open that
// fails: free, busy (and by whom), missing, no permission (and what to do), not a serial port.
#include "doctest_skip.h"
#include "port_check.h"
#include "port_listing.h"
#include "pty_pair.h"
#include "scratch_folder.h"
#include "termios_port.h"
#include "test_fd_watcher.h"

#include <cstdio>
#include <functional>
#include <string>

#include <grp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>

namespace {

constexpr uid_t kNobody = 65534;

// Opens of path seen by inotify since the watch began.
class OpenCounter
{
public:
    explicit OpenCounter(const std::string &path) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(m_fd, path.c_str(), IN_OPEN);
    }
    ~OpenCounter() { ::close(m_fd); }
    int opens() const
    {
        char buffer[4096];
        int count = 0;
        for (ssize_t size; (size = ::read(m_fd, buffer, sizeof buffer)) > 0;)
            count += static_cast<int>(size / sizeof(inotify_event));
        return count;
    }

private:
    int m_fd;
};

long endedPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// Runs work in a child as user nobody with gid alone, and returns what it printed.
std::string asNobody(gid_t gid, const std::function<std::string()> &work)
{
    int out[2];
    if (::pipe(out) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(kNobody) == 0;
        const std::string text = dropped ? work() : "no setuid";
        ::_exit(::write(out[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t size; (size = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(size));
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

// check()'s words, then the open's line, as that user sees them.
std::string checkAndOpen(const std::string &devices, const std::string &locks)
{
    const std::string check = portcheck::describe(portcheck::check(devices + "/ttyS1", {locks}));
    TestFdWatcher watcher;
    TermiosPort port({devices, {}, {locks}, {}}, watcher);
    const bool opened = port.configure({}) && port.setCommPort(2) && port.setPortOpen(true);
    return check + '|' + (opened ? "aberta" : port.openProblem());
}

} // namespace

TEST_CASE("what --ports tells, without opening the device")
{
    enum Kind { Plain, LiveLock, StaleLock, Flocked, Missing, File };
    const struct
    {
        const char *what;
        Kind kind;
        std::string state;
    } rows[] = {
        {"free", Plain, "livre"},
        {"another's lock", LiveLock,
         "em uso por outro programa (PID " + std::to_string(::getppid()) + ")"},
        {"a stale lock, left in place", StaleLock, "livre"},
        {"an flock", Flocked, "em uso por outro programa (PID " + std::to_string(::getpid()) + ")"},
        {"missing", Missing, "dispositivo ausente"},
        {"a plain file", File,
         "não é uma porta serial em funcionamento (não é um dispositivo de caracteres)"},
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        PtyPair board;
        if (!board.open())
            COMUTEL_SKIP("sem pseudo-terminal: " << board.error());
        REQUIRE((row.kind == Missing || row.kind == File
                     ? devices.write("ttyUSB0", "")
                     : devices.link(board.slavePath(), "ttyUSB0")));
        if (row.kind == Missing)
            REQUIRE(::unlink((devices / "ttyUSB0").c_str()) == 0);
        if (row.kind == LiveLock || row.kind == StaleLock)
            REQUIRE(locks.write("LCK..ttyUSB0",
                                std::to_string(row.kind == LiveLock ? ::getppid() : endedPid()) +
                                    "\n"));
        const int holder = ::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY);
        REQUIRE((holder >= 0 && (row.kind != Flocked || ::flock(holder, LOCK_EX) == 0)));

        const OpenCounter counter(board.slavePath());
        portnames::PortMap map = portnames::comPorts(devices.path());
        map.ports.resize(5);
        map.ports[4] = {devices / "ttyUSB0", portnames::Origin::UserMap, "com5"};
        const std::vector<std::string> lines = portListing(map, {locks.path()});
        REQUIRE(lines.size() == 1);
        CHECK(lines.front().rfind("COM5  " + devices / "ttyUSB0" + "  usuário (com5)  " + row.state,
                                  0) == 0);
        CHECK(counter.opens() == 0);
        CHECK(locks.exists("LCK..ttyUSB0") == (row.kind == LiveLock || row.kind == StaleLock));
        ::close(holder);
        CHECK(counter.opens() == 0); // the watch itself works: our own open below is seen
        ::close(::open(board.slavePath().c_str(), O_RDWR | O_NOCTTY));
        CHECK(counter.opens() == 1);
    }
}

TEST_CASE("the device COMUTEL_DEVICE pins is marked in the listing")
{
    portnames::PortMap map = portnames::comPorts("/nonexistent");
    portnames::pinTo(map, "/nonexistent/by-id/board");
    const std::vector<std::string> lines = portListing(map, {});
    REQUIRE(lines.size() == 1);
    CHECK(lines.front() ==
          "COM2  /nonexistent/by-id/board  padrão, só esta (COMUTEL_DEVICE)  dispositivo ausente");
}

TEST_CASE("as an ordinary user: permissions, and a stale lock that cannot be removed")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root para criar arquivos de outro usuário");
    const struct
    {
        const char *what;
        uid_t owner;
        gid_t group;
        mode_t mode;
        gid_t processGroup;
        std::string state;
    } rows[] = {
        {"not in the group", 0, 0, 0660, kNobody,
         "sem permissão; o usuário precisa pertencer ao grupo root, dono do dispositivo "
         "(normalmente dialout)"},
        {"the group may not open it either", 0, kNobody, 0600, kNobody,
         "sem permissão; só o root pode abri-lo"},
        {"in the group, not yet in this session", 0, kNobody, 0660, kNobody - 1,
         "sem permissão; o usuário já está no grupo nogroup, mas esta sessão ainda não: entre de "
         "novo na sessão"},
        {"a stale lock of root's in a sticky folder", kNobody, 0, 0600, kNobody, "livre"},
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        ScratchFolder devices, locks;
        PtyPair board;
        if (!board.open())
            COMUTEL_SKIP("sem pseudo-terminal: " << board.error());
        REQUIRE(devices.link(board.slavePath(), "ttyS1"));
        REQUIRE(::chown(board.slavePath().c_str(), row.owner, row.group) == 0);
        REQUIRE(::chmod(board.slavePath().c_str(), row.mode) == 0);
        REQUIRE(::chmod(devices.path().c_str(), 0755) == 0);
        REQUIRE(::chmod(locks.path().c_str(), 01777) == 0);
        REQUIRE(locks.write("LCK..ttyS1", std::to_string(endedPid()) + "\n"));

        const std::string seen =
            asNobody(row.processGroup, [&] { return checkAndOpen(devices.path(), locks.path()); });
        const std::string open =
            row.state == "livre" ? "aberta" : "COM2 (" + devices / "ttyS1" + "): " + row.state;
        CHECK(seen == row.state + '|' + open);
        CHECK(locks.exists("LCK..ttyS1"));
    }
}
