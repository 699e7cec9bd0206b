// /proc/locks read for the holder of an flock on one file: after any lines, a waiter, a lock of
// another kind or on another file never counts, and the first holder's line wins.
#include "posix/proc_locks.h"
#include "tests/fuzz/fuzz.h"

#include <sstream>

#include <sys/sysmacros.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto holder = [text = std::string(data, data + size)](const char *line) {
        std::istringstream locks(text + "\n9: " + line + " 0 EOF\n");
        return proclocks::flockHolder(locks, makedev(0, 0x1a), 5);
    };
    for (const char *other : {"-> FLOCK ADVISORY WRITE 7 00:1a:5", "POSIX ADVISORY WRITE 7 00:1a:5",
                              "FLOCK x x 7 00:1a:50", "FLOCK x x 7 100:1a:5"})
        PROPERTY(holder(other) == holder(""));
    PROPERTY(holder("FLOCK  ADVISORY  WRITE 7 00:1a:5") == holder("").value_or(7));
    return 0;
}
