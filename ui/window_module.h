// The window module: everything that needs Qt, loaded with dlopen only when a window or a message
// box can be shown. Command mode runs without it, so a script's `comutel 1` loads no Qt library.
// The module runs the same controller on Qt's event loop, and picks Qt's platform itself.
#pragma once

#include "core/event_loop.h"
#include "core/fd_watcher.h"
#include "core/window.h"

#include <cstdlib>
#include <functional>
#include <string>

class WindowModule
{
public:
    virtual ~WindowModule() = default;

    // Starts the toolkit (a QApplication) on the display the environment names, and offscreen
    // where that cannot be had, so that a missing display never aborts the program; argc and
    // argv must outlive the module. False, with the line in problem, where nobody could see a
    // window: offscreen that the caller did not ask for.
    virtual bool start(int &argc, char **argv, std::string *problem) = 0;
    // Qt's loop, as the controller and the serial port see it; valid after start().
    virtual EventLoop &loop() = 0;
    virtual FdWatcher &watcher() = 0;
    // The main window with all its controls, not shown yet; owned by the module.
    virtual Window &mainWindow() = 0;
    // Modal box with OK and Cancel, lines separated by CR LF; returns when either dismisses it,
    // at once offscreen.
    virtual void showMessageBox(const std::string &title, const std::string &text) = 0;
    // A box, this one or the window's, also closes once fd turns readable: the pipe through
    // which a termination signal comes, so that the run can still end by it.
    virtual void closeBoxesOn(int fd) = 0;
    // Runs the loop until loop().end(status); returns that status. Qt ends the process with
    // exit(1) when the display goes away under the loop (a logout, an X server that crashed),
    // and none of our destructors runs then: displayLost runs first, from exit, with the line
    // that says so, so that the run can still close its port and remove its locks; the process
    // then ends with the status the loop was ended with.
    virtual int exec(std::function<void(const std::string &line)> displayLost) = 0;

    // Whether a box could be seen here: a display is named, and Qt was not asked for offscreen.
    // From the environment alone, so that the module is loaded for a box only then.
    static bool displayNamed()
    {
        if (asksOffscreen(std::getenv("QT_QPA_PLATFORM")))
            return false;
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
            if (const char *value = std::getenv(name); value && *value)
                return true;
        return false;
    }
    // Whether a QT_QPA_PLATFORM list names offscreen.
    static bool asksOffscreen(const char *platforms)
    {
        return platforms &&
               (";" + std::string(platforms) + ";").find(";offscreen;") != std::string::npos;
    }

    // Opens the module (posix/window_module_loader.cpp): beside the executable, in ../lib/comutel,
    // then where it was installed. Null, with the reason in problem, when there is none that no
    // other user could have put there.
    static WindowModule *load(std::string *problem);
};

// The one symbol the module exports.
#define COMUTEL_WINDOW_MODULE_ENTRY "comutel_window_module"
extern "C" WindowModule *comutel_window_module();
