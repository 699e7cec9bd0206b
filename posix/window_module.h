// The window module: everything that needs Qt, loaded with dlopen only when a window or a message
// box can be shown. Command mode runs without it, so a script's `comutel 1` loads no Qt library.
// The module runs the same controller on Qt's event loop.
#pragma once

#include "event_loop.h"
#include "fd_watcher.h"
#include "window.h"

#include <string>

class WindowModule
{
public:
    virtual ~WindowModule() = default;

    // Starts the toolkit (a QApplication); argc and argv must outlive the module. False when the
    // platform fell back to offscreen: nobody could see or dismiss anything.
    virtual bool start(int &argc, char **argv) = 0;
    // Qt's loop, as the controller and the serial port see it; valid after start().
    virtual EventLoop &loop() = 0;
    virtual FdWatcher &watcher() = 0;
    // The main window with all its controls, not shown yet; owned by the module.
    virtual Window &mainWindow() = 0;
    // Modal box with OK and Cancel, lines separated by CR LF; returns when either dismisses it.
    virtual void showMessageBox(const std::string &title, const std::string &text) = 0;
    // A box, this one or the window's, also closes once fd turns readable: the pipe through
    // which a termination signal comes, so that the run can still end by it.
    virtual void closeBoxesOn(int fd) = 0;
    // Runs the loop until loop().end(status); returns that status.
    virtual int exec() = 0;

    // Opens the module: beside the executable, in ../lib/comutel, then where it was installed.
    // Null, with the reason in problem, when there is none that no other user could have put there.
    static WindowModule *load(std::string *problem);
};

// The one symbol the module exports.
#define COMUTEL_WINDOW_MODULE_ENTRY "comutel_window_module"
extern "C" WindowModule *comutel_window_module();
