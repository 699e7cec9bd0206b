// The module's entry: the Qt application on the platform the environment allows, Qt's loop as
// the controller's, the widget window and the message box, behind the interface the Linux
// executable knows (window_module.h).
#include "ui/window_module.h"

#include "core/exit_status.h"
#include "ui/qt_loop.h"
#include "ui/toolkit.h"
#include "ui/widget_window.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <utility>

namespace {

// Scripts read comutel's standard error; Qt's own notes (platform fallbacks, missing runtime
// folders) would only confuse them.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// The Qt platforms to try, ending with offscreen so that a missing or unreachable display never
// aborts the program. Returns whether the caller asked for offscreen itself.
bool choosePlatform()
{
    const char *asked = std::getenv("QT_QPA_PLATFORM");
    std::string platforms = asked ? asked : "";
    if (platforms.empty()) {
        if (const char *wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
            platforms = "wayland";
        if (const char *x11 = std::getenv("DISPLAY"); x11 && *x11)
            platforms += platforms.empty() ? "xcb" : ";xcb";
    }
    const bool askedOffscreen = WindowModule::asksOffscreen(platforms.c_str());
    if (!askedOffscreen)
        platforms += platforms.empty() ? "offscreen" : ";offscreen";
    ::setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
    return askedOffscreen;
}

class WidgetsModule : public WindowModule
{
public:
    bool start(int &argc, char **argv, std::string *problem) override
    {
        if (!m_app) {
            m_askedOffscreen = choosePlatform();
            qInstallMessageHandler(dropQtMessages); // before the platform plugin speaks
            m_app = std::make_unique<QApplication>(argc, argv);
            // The controller alone ends the run, with its own status, when the window closes.
            QGuiApplication::setQuitOnLastWindowClosed(false);
            m_loop = std::make_unique<QtLoop>();
        }
        if (toolkit::canShowDialogs() || m_askedOffscreen)
            return true;
        const char *display = std::getenv("DISPLAY");
        *problem = std::string("nenhuma tela disponível para a janela (DISPLAY=\"") +
                   (display ? display : "") + "\")";
        return false;
    }
    EventLoop &loop() override { return *m_loop; }
    FdWatcher &watcher() override { return *m_loop; }
    Window &mainWindow() override
    {
        if (!m_window)
            m_window = std::make_unique<WidgetWindow>();
        return *m_window;
    }
    void showMessageBox(const std::string &title, const std::string &text) override
    {
        toolkit::showMessageBox(title, text);
    }
    void closeBoxesOn(int fd) override { toolkit::closeBoxesOn(fd); }
    int exec(std::function<void(const std::string &line)> displayLost) override
    {
        static const bool watching = std::atexit(exitedUnderTheLoop) == 0;
        m_displayLost = watching ? std::move(displayLost) : nullptr;
        const int status = m_loop->exec();
        m_displayLost = nullptr; // an exit from here on is the program's own
        return status;
    }

private:
    static void exitedUnderTheLoop();

    bool m_askedOffscreen = false;
    std::function<void(const std::string &line)> m_displayLost;
    // Declared so that the window goes before the loop, and both before the application.
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QtLoop> m_loop;
    std::unique_ptr<WidgetWindow> m_window;
};

WidgetsModule *theModule()
{
    // Never destroyed: Qt must not be torn down among the exit's static destructors, in an
    // order nobody controls. The process ends with it.
    static WidgetsModule *const module = new WidgetsModule;
    return module;
}

void WidgetsModule::exitedUnderTheLoop()
{
    WidgetsModule *const module = theModule();
    if (const auto lost = std::exchange(module->m_displayLost, nullptr)) {
        lost("a conexão com a tela se perdeu (a sessão ou o servidor gráfico terminou); a porta "
             "foi fechada");
        std::_Exit(module->m_loop->hasEnded() ? module->m_loop->status() : ExitFatal);
    }
}

} // namespace

extern "C" Q_DECL_EXPORT WindowModule *comutel_window_module()
{
    return theModule();
}
