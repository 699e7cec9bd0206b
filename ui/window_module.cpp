#include "window_module.h"

#include "toolkit.h"
#include "widget_window.h"

#include <QApplication>

namespace {

class WidgetsModule : public WindowModule
{
public:
    QCoreApplication *createApplication(int &argc, char **argv) override
    {
        return new QApplication(argc, argv);
    }
    bool hasDisplay() const override { return toolkit::canShowDialogs(); }
    Window *createWindow() override { return new WidgetWindow; }
    void showMessageBox(const QString &title, const QString &text) override
    {
        toolkit::showMessageBox(title, text);
    }
};

} // namespace

extern "C" Q_DECL_EXPORT WindowModule *comutel_window_module()
{
    static WidgetsModule module;
    return &module;
}
