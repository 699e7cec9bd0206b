// Built into each executable with its own COMUTEL_TURN_LOCK (posix/CMakeLists.txt): the same
// program takes its turns where it is installed, or in the shared lock folder from the build tree.
#include "posix/turn_lock.h"

const char *const TurnLock::kBuildPath = COMUTEL_TURN_LOCK;
