// The few things the program needs from the windowing toolkit beyond plain widgets: twips,
// colours, the stand-ins for fonts that Linux lacks, pictures from SVG, and whether a
// modal box can be shown at all.
#pragma once

#include "core/form.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <memory>
#include <string>

class QLabel;
class QMessageBox;
class QWidget;

namespace toolkit {

// 15 twips to a logical pixel; Qt scales logical pixels on dense screens.
constexpr int kTwipsPerPixel = 15;
QRect fromTwips(const form::Place &twips);
QSize fromTwips(const QSize &twips);

inline QColor colourOf(form::Rgb rgb)
{
    return {rgb.red, rgb.green, rgb.blue};
}
void setTextColour(QLabel *label, const QColor &colour);
QColor textColour(const QLabel *label);
void setBackground(QWidget *widget, const QColor &colour);

// The families the layout names and what stands in for each where it is not installed: the
// same widths where a metric-compatible family exists, else the nearest humanist sans.
struct FontSubstitute
{
    const char *family;
    const char *standIn;
};
inline constexpr std::array<FontSubstitute, 3> kFontSubstitutes{{
    {"Segoe UI", "Lato"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Courier New", "Liberation Mono"},
}};
// Registers kFontSubstitutes with Qt; safe to call more than once.
void installFontSubstitutes();

// The SVG drawn into size logical pixels, sharp at devicePixelRatio; null if it cannot be read.
QPixmap pictureFromSvg(const QString &fileName, const QSize &size, qreal devicePixelRatio);

// False on the offscreen platform, where nobody could see or dismiss a box.
bool canShowDialogs();
// The controller's UTF-8 text with its CR LF line breaks as Qt breaks lines: "\n".
QString fromCrLfText(const std::string &text);
// The box as shown: OK and "Cancelar" (Qt's own "Cancel" is English in every locale), or, for
// a failure, OK alone. The text's lines are separated by CR LF.
std::unique_ptr<QMessageBox> messageBox(const std::string &title, const std::string &text,
                                        bool withCancel);
// Shows it modal; returns when it is dismissed, at once where nobody could see it (offscreen),
// or when the descriptor given to closeBoxesOn turns readable.
void showMessageBox(const std::string &title, const std::string &text, bool withCancel = true);
// A termination signal reaches the program through fd (a pipe): it closes a box that is up, so
// that the run can end by that signal. -1: none.
void closeBoxesOn(int fd);

} // namespace toolkit
