// A lock file's bytes, whatever another program or user wrote: the pid named is one a process
// could have, written there; a lock naming no process is kept; one is never judged live for a
// pid that does not exist, and (as root) a live process's lock is never removed.
#include "posix/port_locks.h"
#include "tests/fuzz/fuzz.h"

#include <csignal>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const long limit = portlocks::maxPid();
    const std::string contents(data, data + size), lock = scratchFolder() + "/LCK..ttyFUZZ";
    const long pid = portlocks::pidIn(contents, limit);
    PROPERTY(pid >= 0 && pid <= limit);
    PROPERTY(pid == 0 || size == 4 || contents.find(std::to_string(pid)) != std::string::npos);
    // Processes come and go: a pid is taken as live, or as missing, both before and after.
    const auto exists = [pid] { return pid != ::getpid() && (!::kill(pid, 0) || errno == EPERM); };
    std::ofstream(lock, std::ios::binary) << contents;
    const bool before = pid && exists();
    const auto held = portlocks::lockFileOn("/dev/ttyFUZZ", {scratchFolder()});
    const bool after = pid && exists(), kept = ::unlink(lock.c_str()) == 0;
    PROPERTY(held.has_value() == kept && (!held || held->pid == pid) && (pid || held));
    PROPERTY(!(held && pid && !before && !after) && !(!held && before && after && !::geteuid()));
    return 0;
}
