#include "widget_window.h"

#include "toolkit.h"

#include <QEvent>
#include <QLabel>

WidgetWindow::WidgetWindow()
{
    m_form.setupUi(&m_widget);
    m_widget.installEventFilter(this);
}

void WidgetWindow::setLabel1(const QString &text, Colour colour)
{
    m_form.Label1->setText(text);
    toolkit::setTextColour(m_form.Label1, colour == Colour::Green ? toolkit::kGreen
                                          : colour == Colour::Red ? toolkit::kRed
                                                                  : toolkit::kBlack);
}

void WidgetWindow::setLabel3(const QString &text)
{
    m_form.Label3->setText(text);
}

void WidgetWindow::setLabel8(const QString &text)
{
    m_form.Label8->setText(text);
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
