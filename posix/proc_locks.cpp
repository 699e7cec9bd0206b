#include "posix/proc_locks.h"

#include <cstdio>
#include <sstream>
#include <string>

#include <sys/sysmacros.h>

namespace proclocks {

std::optional<long> flockHolder(std::istream &locks, dev_t device, ino_t inode)
{
    // The file as the kernel names it: major and minor in hex, at least two digits, the inode.
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(device), minor(device),
                  static_cast<unsigned long long>(inode));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" &&
            where == id)
            return pid;
    }
    return std::nullopt;
}

} // namespace proclocks
