// comutel runs as root as well as as ordinary users, so what it loads or follows beside its
// executable (the window module, a log.txt that is a link) must be something no other user could
// have put there or changed.
#pragma once

#include <QString>

namespace filetrust {

// True when path (a link itself, not what it points to) belongs to root or to the user running
// us, is writable by no one else, and sits in a folder that holds to the same rule.
bool isTrusted(const QString &path);

} // namespace filetrust
