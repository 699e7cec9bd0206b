// The serial port on termios. It opens without becoming the controlling terminal and never
// blocks the loop; it marks a port it holds the way other serial programs look for (an flock on
// the device, our own LCK..NAME files) and respects theirs, the kernel's exclusive mode too; it
// hands every byte to the wire before the close, and closes itself when the device hangs up or
// vanishes.
#pragma once

#include "core/comm_port.h"
#include "core/fd_watcher.h"
#include "core/line_settings.h"
#include "posix/pending_output.h"
#include "posix/port_check.h"
#include "posix/port_locks.h"
#include "posix/port_names.h"

#include <string>
#include <vector>

#include <termios.h>

class TermiosPort : public CommPort
{
public:
    // Where the port finds its devices and lock files; tests give scratch ones.
    struct Places
    {
        portnames::PortMap map;         // the COM numbers, fixed before the search starts
        std::vector<std::string> locks; // lock files; ours go in the first folder
        // /dev and the user's and the system's map folders, pinned to $COMUTEL_DEVICE where it
        // is set; /run/lock.
        static Places ofSystem();
    };

    TermiosPort(const Places &places, FdWatcher &watcher);
    ~TermiosPort() override;
    TermiosPort(const TermiosPort &) = delete;
    TermiosPort &operator=(const TermiosPort &) = delete;

    bool configure(const CommSettings &settings) override;
    std::string settings() const override { return m_settings.Settings; }
    bool setCommPort(int number) override;
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_fd >= 0; }
    bool output(const std::string &bytes) override;
    std::string input() override;
    std::string errorString() const override { return m_error; }
    std::string openProblem() const override { return m_openProblem; }
    std::vector<std::string> openNotices() const override { return m_openNotices; }

    // The device that the current COM number stands for; empty when there is none.
    std::string devicePath() const;

private:
    bool open();
    bool openDevice(const std::string &path);
    bool refusedExclusively(int fd, const std::string &path);
    bool setUpLine();
    void close();
    void release();
    void onReady();
    bool readAvailable(std::string &bytes);
    void lose(const std::string &reason);
    bool refuse(const std::string &path, const portcheck::Finding &finding);
    std::string portLabel(const std::string &path) const;
    bool fail(const std::string &reason);

    Places m_places;
    FdWatcher &m_watcher;
    CommSettings m_settings;
    LineSettings m_line;
    int m_commPort = 0;
    int m_fd = -1;
    bool m_clearExclusive = false; // the kernel's exclusive mode is ours to end at the close
    termios m_savedLine{};
    std::vector<portlocks::OwnLock> m_ownLocks;
    std::string m_received;
    PendingOutput m_pending;
    std::string m_error;
    std::string m_openProblem;
    std::vector<std::string> m_openNotices;
};
