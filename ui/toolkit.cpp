#include "toolkit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>

namespace toolkit {

QRect fromTwips(const QRect &twips)
{
    return {twips.x() / kTwipsPerPixel, twips.y() / kTwipsPerPixel,
            twips.width() / kTwipsPerPixel, twips.height() / kTwipsPerPixel};
}

QSize fromTwips(const QSize &twips)
{
    return twips / kTwipsPerPixel;
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QColor textColour(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool canShowDialogs()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

void showMessageBox(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel);
    box.exec();
}

} // namespace toolkit
