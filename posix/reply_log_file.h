// log.txt beside the executable, on Linux. An installation may make it a link to a folder its
// users can write (/var/lib/comutel); comutel runs as root too, so it follows such a link only
// when no other user could have placed it, and never writes through a link it finds there. The
// file is replaced by rename, keeping the owner, group and mode of the one it replaces, so that
// a run as root leaves a shared log as writable for the others as it found it.
#pragma once

#include "core/reply_log.h"

#include <string>

class ReplyLogFile : public ReplyLog
{
public:
    // folder: the one that holds the executable.
    explicit ReplyLogFile(std::string folder);
    // The log of the running program, in the folder that holds its executable.
    static ReplyLogFile besideExecutable();

    std::string path() const { return m_path; }
    // Replaces the file with text and CR LF; false (with errorString) when it cannot, or when
    // log.txt is a link that someone else could have placed. Where the file is still the one
    // of our last write and holds this very line, it is left as it is.
    bool write(const std::string &text) override;
    std::string errorString() const override { return m_error; }

    // The file a write left, known by its inode: a later write of the same line may spare
    // itself the replacement.
    struct Written
    {
        std::string contents;
        unsigned long long device = 0;
        unsigned long long inode = 0;
    };

private:
    bool fail(const std::string &reason);

    std::string m_path;
    std::string m_error;
    Written m_written;
};
