// comutel runs as root as well as as ordinary users, so what it loads or follows beside its
// executable (the window module, a log.txt that is a link, a map entry) must be something no
// other user could have put there or changed.
#pragma once

#include <string>

namespace filetrust {

// True when path (a link itself, not what it points to) belongs to root or to the user running
// us, is writable by no one else, and sits in a folder that holds to the same rule.
bool isTrusted(const std::string &path);

// The path with every link, "." and ".." resolved (realpath); empty when it leads nowhere.
std::string resolved(const std::string &path);

// The folder part of a path ("." for a bare name), and the last component.
std::string folderOf(const std::string &path);
std::string nameOf(const std::string &path);

} // namespace filetrust
