// Turns between runs: taken and busy between two holders, who holds it, and what stands at the
// lock's path: a lone run, or a line, never a hang.
#include "posix/turn_lock.h"
#include "tests/scratch_folder.h"
#include "tests/skip.h"

#include <tuple>

#include <sys/prctl.h>

using Result = Turn::Result;
using Making = TurnLock::Making;

TEST_CASE("one holder at a time, named by its pid and its program")
{
    ScratchFolder folder("chmod 1777 ."); // as /run/lock
    const std::string path = folder.path + "/comutel.lock", pid = std::to_string(::getpid());
    TurnLock first(path, Making::ByAnyRun), second(path, Making::ByAnyRun);
    ::umask(077); // whatever the umask, the file is readable by all
    CHECK(first.tryTake() == Result::Taken);
    CHECK(std::filesystem::status(path).permissions() == std::filesystem::perms(0644));
    CHECK(second.tryTake() == Result::Busy);
    for (const auto &[name, holder] :
         {std::pair("tst_turn_lock", "outro programa (PID " + pid + ", tst_turn_lock)"),
          std::pair("comutel", "outro comutel (PID " + pid + ")")}) {
        ::prctl(PR_SET_NAME, name);
        CHECK(second.holder() == holder);
    }
    first.release();
    CHECK(second.tryTake() == Result::Taken);
}

TEST_CASE("what stands at the lock's path")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root, para agir como outros usuários e para eles");
    const std::string systems = "touch turn.lock && chmod 660 turn.lock";
    using Row = std::tuple<const char *, Making, std::string, uid_t, Result>;
    for (const auto &[name, making, setup, user, result] : {
             Row{"FIFO", Making::ByAnyRun, "mkfifo turn.lock", 0, Result::Failed},
             Row{"directory", Making::BySystem, "mkdir turn.lock", 0, Result::Failed},
             Row{"link", Making::ByAnyRun, "ln -s /etc/passwd turn.lock", 0, Result::Failed},
             Row{"no lock folder", Making::ByAnyRun, "rmdir \"$PWD\"", 0, Result::Unavailable},
             Row{"the system's missing", Making::BySystem, ":", 0, Result::Unavailable},
             Row{"the system's, not ours", Making::BySystem, systems, kNobody, Result::Unavailable},
             Row{"the system's, ours", Making::BySystem, systems, 0, Result::Taken},
         }) {
        CAPTURE(name);
        ScratchFolder folder("chmod 755 . && mkdir -m 755 lock && cd lock && " + setup);
        TurnLock turn(folder.path + "/lock/turn.lock", making);
        CHECK((AsUser(user, kNobody), turn.tryTake()) == result);
        if (result == Result::Failed)
            CHECK(turn.errorString().rfind(turn.path(), 0) == 0); // one line, naming the path
        else
            CHECK(turn.errorString().empty());
        if (setup == ":")
            CHECK(::access(turn.path().c_str(), F_OK) != 0); // never made by a run
    }
}
