// The window module: everything that needs Qt Gui and Widgets, loaded with dlopen only when a
// window or a message box can be shown. Command mode runs without it, so a script's
// `comutel 1` does not pay for loading some thirty graphics libraries it never uses.
#pragma once

#include "window.h"

#include <QString>

class QCoreApplication;

class WindowModule
{
public:
    virtual ~WindowModule() = default;

    // The application object, a QApplication; argc must outlive it.
    virtual QCoreApplication *createApplication(int &argc, char **argv) = 0;
    // False when the platform fell back to offscreen: nobody could see or dismiss anything.
    virtual bool hasDisplay() const = 0;
    // The main window with all its controls, not shown yet.
    virtual Window *createWindow() = 0;
    // Modal box with OK and Cancel; returns when either dismisses it.
    virtual void showMessageBox(const QString &title, const QString &text) = 0;

    // Opens the module: beside the executable, in ../lib/comutel, then where it was installed.
    // Null, with the reason in problem, when there is none that no other user could have put there.
    static WindowModule *load(QString *problem);
};

// The one symbol the module exports.
#define COMUTEL_WINDOW_MODULE_ENTRY "comutel_window_module"
extern "C" WindowModule *comutel_window_module();
