#include "posix/advice_window.h"

#include "ui/window_module.h"

void AdviceWindow::showMessageBox(const std::string &title, const std::string &text)
{
    if (!WindowModule::displayNamed())
        return;
    std::string problem;
    WindowModule *const module = WindowModule::load(&problem);
    if (!module) {
        if (m_streams)
            m_streams->writeErr("comutel: não foi possível carregar a janela: " + problem + "\n");
        return;
    }
    if (module->start(m_argc, m_argv, &problem)) {
        module->closeBoxesOn(m_signalFd);
        module->showMessageBox(title, text);
    }
}
