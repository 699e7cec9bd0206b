#include "file_trust.h"

#include <QFile>
#include <QFileInfo>

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

bool isTrusted(const QString &path)
{
    struct stat file, folder;
    return ::lstat(QFile::encodeName(path).constData(), &file) == 0 && ownedSafely(file) &&
           ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) == 0 &&
           ownedSafely(folder);
}

} // namespace filetrust
