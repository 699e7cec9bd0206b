#include "ui/toolkit.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSvgRenderer>

namespace toolkit {

namespace {

int closingFd = -1;

} // namespace

QRect fromTwips(const form::Place &twips)
{
    return {twips.left / kTwipsPerPixel, twips.top / kTwipsPerPixel, twips.width / kTwipsPerPixel,
            twips.height / kTwipsPerPixel};
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

std::unique_ptr<QMessageBox> messageBox(const std::string &title, const std::string &text,
                                        bool withCancel)
{
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::NoIcon, QString::fromStdString(title), fromCrLfText(text),
        withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
    if (withCancel)
        box->button(QMessageBox::Cancel)->setText(QStringLiteral("Cancelar"));
    return box;
}

void showMessageBox(const std::string &title, const std::string &text, bool withCancel)
{
    if (!canShowDialogs())
        return; // the box would wait for ever for a click nobody can give
    const std::unique_ptr<QMessageBox> box = messageBox(title, text, withCancel);
    std::unique_ptr<QSocketNotifier> signal;
    if (closingFd >= 0) {
        signal = std::make_unique<QSocketNotifier>(closingFd, QSocketNotifier::Read);
        QObject::connect(signal.get(), &QSocketNotifier::activated, box.get(), &QDialog::reject);
    }
    box->exec();
}

void closeBoxesOn(int fd)
{
    closingFd = fd;
}

} // namespace toolkit
