// The module's entry: the Qt application, Qt's loop as the controller's, the widget window and
// the message box, behind the interface the Linux executable knows (posix/window_module.h).
#include "window_module.h"

#include "qt_loop.h"
#include "toolkit.h"
#include "widget_window.h"

#include <QApplication>

#include <memory>

namespace {

// Scripts read comutel's standard error; Qt's own notes (platform fallbacks, missing runtime
// folders) would only confuse them.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

class WidgetsModule : public WindowModule
{
public:
    bool start(int &argc, char **argv) override
    {
        if (!m_app) {
            qInstallMessageHandler(dropQtMessages); // before the platform plugin speaks
            m_app = std::make_unique<QApplication>(argc, argv);
            // The controller alone ends the run, with its own status, when the window closes.
            QGuiApplication::setQuitOnLastWindowClosed(false);
            m_loop = std::make_unique<QtLoop>();
        }
        return toolkit::canShowDialogs();
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
    int exec() override { return m_loop->exec(); }

private:
    // Declared so that the window goes before the loop, and both before the application.
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QtLoop> m_loop;
    std::unique_ptr<WidgetWindow> m_window;
};

} // namespace

extern "C" Q_DECL_EXPORT WindowModule *comutel_window_module()
{
    // Never destroyed: Qt must not be torn down among the exit's static destructors, in an
    // order nobody controls. The process ends with it.
    static WidgetsModule *const module = new WidgetsModule;
    return module;
}
