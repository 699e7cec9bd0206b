// The real window: the controls of MainForm on a QWidget, with the labels the controller
// writes, its close request and the message box. The controller's texts are UTF-8.
#pragma once

#include "core/window.h"
#include "ui/main_form.h"

#include <QObject>
#include <QWidget>

class WidgetWindow : public QObject, public Window
{
public:
    WidgetWindow();

    void setLabel1(const std::string &text, Colour colour) override;
    void setLabel3(const std::string &text) override;
    void setLabel8(const std::string &text) override;
    void setVisible(bool visible) override;
    void setCloseHandler(std::function<void()> handler) override;
    void showMessageBox(const std::string &title, const std::string &text) override;
    void showFailure(const std::string &title, const std::string &text) override;

    QWidget *widget() { return &m_widget; }
    const MainForm &form() const { return m_form; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget m_widget;
    MainForm m_form;
    std::function<void()> m_closeHandler;
};
