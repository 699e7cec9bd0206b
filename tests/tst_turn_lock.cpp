// Turns between runs: taken and busy between two holders, who holds it, and the files at the
// lock's path that must give a lone run or a line, never a hang.
#include "turn_lock.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <string>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Result = Turn::Result;
using Making = TurnLock::Making;

struct Scratch
{
    std::string path;
    explicit Scratch(mode_t mode) : path(::mkdtemp(std::string("/tmp/tst_turn.XXXXXX").data()))
    {
        ::chmod(path.c_str(), mode);
    }
    ~Scratch() { std::system(("rm -rf '" + path + "'").c_str()); }
};

// tryTake's result in a child running as nobody, or as we are.
Result takenBy(bool nobody, TurnLock &turn)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(nobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ? 99
                    : static_cast<int>(turn.tryTake()));
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<Result>(WEXITSTATUS(status));
}

} // namespace

TEST_CASE("one holder at a time, named by its pid and its program")
{
    Scratch folder(01777); // as /run/lock
    const std::string path = folder.path + "/comutel.lock";
    TurnLock first(path, Making::ByAnyRun), second(path, Making::ByAnyRun);
    ::umask(077);
    CHECK(first.tryTake() == Result::Taken);
    struct stat info = {};
    CHECK((::stat(path.c_str(), &info) == 0 && (info.st_mode & 07777) == 0644));
    CHECK(second.tryTake() == Result::Busy);
    CHECK(second.holder() ==
          "outro programa (PID " + std::to_string(::getpid()) + ", tst_turn_lock)");
    first.release();
    CHECK(second.tryTake() == Result::Taken);
    second.release();

    int ready[2];
    REQUIRE(::pipe(ready) == 0);
    const pid_t comutel = ::fork();
    if (comutel == 0) {
        ::prctl(PR_SET_NAME, "comutel");
        TurnLock held(path, Making::ByAnyRun);
        const char taken = held.tryTake() == Result::Taken ? 'y' : 'n';
        [[maybe_unused]] const ssize_t told = ::write(ready[1], &taken, 1);
        ::pause(); // holds it until killed
    }
    char taken = 0;
    CHECK((::read(ready[0], &taken, 1) == 1 && taken == 'y'));
    CHECK(first.tryTake() == Result::Busy);
    CHECK(first.holder() == "outro comutel (PID " + std::to_string(comutel) + ")");
    ::kill(comutel, SIGKILL);
    ::waitpid(comutel, nullptr, 0);
}

TEST_CASE("what stands at the lock's path: a lone run, or a line, never a hang")
{
    struct Row
    {
        const char *name;
        Making making;
        const char *make; // shell, in the folder
        bool asNobody;
        Result result;
    };
    const Row rows[] = {
        {"FIFO", Making::ByAnyRun, "mkfifo turn.lock", false, Result::Failed},
        {"directory", Making::BySystem, "mkdir turn.lock", false, Result::Failed},
        {"link", Making::ByAnyRun, "ln -s /etc/passwd turn.lock", false, Result::Failed},
        {"no lock folder", Making::ByAnyRun, "rmdir ../${PWD##*/}", false, Result::Unavailable},
        {"the system's file missing", Making::BySystem, "true", false, Result::Unavailable},
        {"the system's file not ours", Making::BySystem, "touch turn.lock; chmod 660 turn.lock",
         true, Result::Unavailable},
        {"the system's file ours", Making::BySystem, "touch turn.lock; chmod 660 turn.lock", false,
         Result::Taken},
    };
    for (const Row &row : rows) {
        CAPTURE(row.name);
        Scratch folder(0755);
        REQUIRE(std::system(("cd '" + folder.path + "' && " + row.make).c_str()) == 0);
        TurnLock turn(folder.path + "/turn.lock", row.making);
        CHECK(takenBy(row.asNobody, turn) == row.result);
        if (row.result == Result::Failed) {
            CHECK(turn.tryTake() == Result::Failed); // with a line that names the path
            CHECK(turn.errorString().rfind(turn.path(), 0) == 0);
        }
        if (row.making == Making::BySystem && row.result == Result::Unavailable)
            CHECK(::access(turn.path().c_str(), F_OK) == (row.asNobody ? 0 : -1)); // never made
    }
}
