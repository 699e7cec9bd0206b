#include "posix/file_trust.h"

#include <climits>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace filetrust {

namespace {

bool ownedSafely(const struct stat &info)
{
    const bool owner = info.st_uid == 0 || info.st_uid == ::geteuid();
    // A link's own mode bits mean nothing; whoever may write its folder may replace it.
    const bool othersWrite = !S_ISLNK(info.st_mode) && (info.st_mode & (S_IWGRP | S_IWOTH));
    return owner && !othersWrite;
}

} // namespace

std::string resolved(const std::string &path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string folderOf(const std::string &path)
{
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isTrusted(const std::string &path)
{
    struct stat file, folder;
    return ::lstat(path.c_str(), &file) == 0 && ownedSafely(file) &&
           ::stat(folderOf(path).c_str(), &folder) == 0 && ownedSafely(folder);
}

} // namespace filetrust
