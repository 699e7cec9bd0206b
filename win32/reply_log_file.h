// "log.txt" beside Comutel.exe. Each write goes to a fresh file of its own in the same folder,
// which then replaces log.txt in one step (MoveFileExW), so a reader sees the old line or the
// new one, never half of one; while a reader holds it open, it is written over in place, unless
// it has another name too. A folder the user may not write (under Program Files) fails here.
#pragma once

#include "core/reply_log.h"

#include <string>

class ReplyLogFile : public ReplyLog
{
public:
    // folder: the one that holds the executable, in UTF-8.
    explicit ReplyLogFile(const std::string &folder);
    // The log of the running program, in the folder that holds its executable.
    static ReplyLogFile besideExecutable();

    std::string path() const;
    bool write(const std::string &text) override;
    std::string errorString() const override { return m_error; }

private:
    bool fail(const char *what, unsigned long code);
    void removeLeftovers() const;
    bool writeInPlace(const std::string &line, unsigned long replaceError);

    std::wstring m_folder;
    std::wstring m_path;
    std::string m_error;
    bool m_leftoversChecked = false;
};
