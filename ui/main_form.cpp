#include "ui/main_form.h"

#include "core/form.h"
#include "ui/link_label.h"
#include "ui/toolkit.h"

#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QUrl>
#include <QWidget>

namespace {

const QString kLogo = QStringLiteral(":/comutel/comutel.svg");
const QSize kLogoSize{75, 69};

QFont fontOf(const form::Font &font)
{
    QFont qtFont(QString::fromUtf8(font.family));
    qtFont.setPointSizeF(font.points);
    qtFont.setWeight(QFont::Weight(font.weight));
    qtFont.setUnderline(font.underline);
    return qtFont;
}

QWidget *widgetOf(const form::Control &control, QWidget *window)
{
    if (control.kind == form::Kind::Line) {
        auto *line = new QFrame(window);
        toolkit::setBackground(line, toolkit::colourOf(*control.colour));
        return line;
    }
    const QString text = QString::fromUtf8(control.text);
    QLabel *label = control.link
                        ? new LinkLabel(text, QUrl(QString::fromUtf8(control.link)), window)
                        : new QLabel(text, window);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    // Label8 shows whatever the board answers: never take it for markup.
    label->setTextFormat(Qt::PlainText);
    if (control.kind == form::Kind::Picture)
        label->setPixmap(toolkit::pictureFromSvg(kLogo, kLogoSize, window->devicePixelRatioF()));
    else
        label->setFont(fontOf(control.font));
    if (control.colour)
        toolkit::setTextColour(label, toolkit::colourOf(*control.colour));
    return label;
}

} // namespace

void MainForm::setupUi(QWidget *window)
{
    Q_INIT_RESOURCE(comutel);
    toolkit::installFontSubstitutes();
    window->setWindowTitle(QString::fromUtf8(form::kTitle));
    window->setWindowIcon(QIcon(toolkit::pictureFromSvg(kLogo, kLogoSize * 2, 1)));
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setFixedSize(toolkit::fromTwips(QSize(form::kClientWidth, form::kClientHeight)));
    window->setFont(fontOf(form::kDialogFont));
    toolkit::setBackground(window, toolkit::colourOf(form::kBackground));
    for (const form::Control &control : form::kControls) {
        QWidget *widget = widgetOf(control, window);
        widget->setObjectName(QLatin1String(control.name));
        widget->setGeometry(toolkit::fromTwips(control.place));
        widget->setToolTip(QString::fromUtf8(control.tooltip));
    }
    Label1 = window->findChild<QLabel *>(QStringLiteral("Label1"));
    Label3 = window->findChild<QLabel *>(QStringLiteral("Label3"));
    Label8 = window->findChild<QLabel *>(QStringLiteral("Label8"));
}
