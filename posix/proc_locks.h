// Who holds an flock on a file, from the kernel's table of locks (/proc/locks). Read from a
// stream so that the table's text is parsed in one place, and can be tried without the kernel.
#pragma once

#include <istream>
#include <optional>

#include <sys/types.h>

namespace proclocks {

// The pid of the first flock on the file (device, inode) in locks, as /proc/locks writes it:
// "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF". Waiters ("1: -> FLOCK ...") hold nothing.
std::optional<long> flockHolder(std::istream &locks, dev_t device, ino_t inode);

} // namespace proclocks
