#include "ui/link_label.h"

#include <QDesktopServices>
#include <QMouseEvent>

#include <cstdio>

LinkLabel::LinkLabel(const QString &text, const QUrl &url, QWidget *parent)
    : QLabel(text, parent), m_url(url)
{
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    // A press dragged off the label before release is a change of mind, not a click.
    const bool clicked = m_pressed && event->button() == Qt::LeftButton &&
                         rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (clicked && !QDesktopServices::openUrl(m_url)) {
        const QByteArray line = "comutel: não foi possível abrir " + m_url.toEncoded() + '\n';
        std::fputs(line.constData(), stderr);
    }
}
