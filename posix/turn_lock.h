// Command-mode runs take turns on the board with an exclusive flock on one file that every
// comutel on the machine shares, taken once the start has reset the log and held until the
// port is closed and the log written for the last time.
// Where the file lives is fixed when the executable is built: an installed comutel keeps it in a
// folder of its own, where the system makes it for those who may use the board (root:dialout
// 0660) and a run never does; the one in the build tree in the shared lock folder, where the
// first run makes it and any user could hold it.
#pragma once

#include "core/turn.h"

#include <string>

class TurnLock : public Turn
{
public:
    // This executable's path (turn_lock_path.cpp, built into each executable).
    static const char *const kBuildPath;

    enum class Making {
        ByAnyRun, // a shared lock folder (/run/lock): whoever comes first makes it, readable by all
        BySystem, // a folder of its own: missing or not ours to open means no turns here
    };

    // Made by any run when it is in the shared lock folder, by the system elsewhere.
    explicit TurnLock(const std::string &path);
    TurnLock(std::string path, Making making) : m_path(std::move(path)), m_making(making) {}
    ~TurnLock() override { release(); }
    TurnLock(const TurnLock &) = delete;
    TurnLock &operator=(const TurnLock &) = delete;

    Result tryTake() override;
    void release() override;
    std::string errorString() const override { return m_error; }
    // "outro comutel (PID n)", or "outro programa (PID n, NAME)": from /proc/locks.
    std::string holder() const override;

    const std::string &path() const { return m_path; }

private:
    // Opens the file; false, with what tryTake reports instead in failure.
    bool open(Result *failure);
    Result fail(const std::string &reason);

    std::string m_path;
    Making m_making;
    int m_fd = -1;
    bool m_taken = false;
    std::string m_error;
};
