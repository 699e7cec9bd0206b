#include "toolkit.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

namespace toolkit {

QRect fromTwips(const QRect &twips)
{
    return {twips.x() / kTwipsPerPixel, twips.y() / kTwipsPerPixel, twips.width() / kTwipsPerPixel,
            twips.height() / kTwipsPerPixel};
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

void installFontSubstitutes()
{
    // Qt consults these only when the family itself is missing, so a machine that has the
    // real fonts still uses them.
    for (const FontSubstitute &font : kFontSubstitutes)
        QFont::insertSubstitution(QLatin1String(font.family), QLatin1String(font.standIn));
}

QPixmap pictureFromSvg(const QString &fileName, const QSize &size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(fileName);
    if (!renderer.isValid())
        return {};
    QPixmap picture(size * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return picture;
}

bool canShowDialogs()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

QString fromCrLfText(const std::string &text)
{
    return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

void showMessageBox(const std::string &title, const std::string &text)
{
    if (!canShowDialogs())
        return; // the box would wait for ever for a click nobody can give
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), fromCrLfText(text),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.exec();
}

} // namespace toolkit
