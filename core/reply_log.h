// "log.txt" beside the executable: the one line through which a calling script learns the
// board's answer ("-" while there is none). Each platform writes it its own way; whatever the
// way, a reader never sees it half written.
#pragma once

#include <string>

class ReplyLog
{
public:
    virtual ~ReplyLog() = default;
    // Replaces the whole file with text and CR LF; false (with errorString) when it cannot.
    virtual bool write(const std::string &text) = 0;
    // One line naming the file and the reason.
    virtual std::string errorString() const = 0;
};
