#include "ui/widget_window.h"

#include "ui/toolkit.h"

#include <QEvent>
#include <QLabel>

WidgetWindow::WidgetWindow()
{
    m_form.setupUi(&m_widget);
    m_widget.installEventFilter(this);
}

void WidgetWindow::setLabel1(const std::string &text, Colour colour)
{
    m_form.Label1->setText(QString::fromStdString(text));
    toolkit::setTextColour(m_form.Label1, toolkit::colourOf(rgbOf(colour)));
}

void WidgetWindow::setLabel3(const std::string &text)
{
    m_form.Label3->setText(QString::fromStdString(text));
}

void WidgetWindow::setLabel8(const std::string &text)
{
    m_form.Label8->setText(QString::fromStdString(text));
}

void WidgetWindow::showMessageBox(const std::string &title, const std::string &text)
{
    toolkit::showMessageBox(title, text);
}

void WidgetWindow::showFailure(const std::string &title, const std::string &text)
{
    toolkit::showMessageBox(title, text, false);
}

void WidgetWindow::setVisible(bool visible)
{
    m_widget.setVisible(visible);
}

void WidgetWindow::setCloseHandler(std::function<void()> handler)
{
    m_closeHandler = std::move(handler);
}

bool WidgetWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_widget && event->type() == QEvent::Close && m_closeHandler)
        m_closeHandler(); // never refused: the close goes on
    return QObject::eventFilter(watched, event);
}
