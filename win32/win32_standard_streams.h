// The caller's standard output and error, when it gave any (a pipe from "for /f", a file, the
// console a prompt lent us). Text goes to a console as UTF-16 and elsewhere in the ANSI code
// page, lines ending in CR LF; the answer's bytes go as the board sent them. A reader that does
// not read costs a second at most (StreamDeadline), then the bytes are dropped. Where no
// standard error was given (a batch file run from a console starts a GUI program without one),
// the lines go to the console of the one that started us.
#pragma once

#include "core/standard_streams.h"

#include <string>

class Win32StandardStreams : public StandardStreams
{
public:
    void writeOut(const std::string &bytes) override;
    void writeErr(const std::string &text) override;
    // UTF-8 text onto standard output (--help, --ports); false when it could not be written.
    bool writeOutText(const std::string &text);

    // At a prompt a GUI program has no standard handles: those missing are the console of the
    // one that started us, if it has one. output false: standard error only.
    static void borrowParentConsole(bool output = true);

private:
    StreamDeadline m_deadline;
};
