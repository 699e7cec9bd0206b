// The few things the program needs from the windowing toolkit beyond plain widgets: twips,
// status colours, and whether a modal box can be shown at all.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

namespace toolkit {

inline const QColor kBlack{0, 0, 0};
inline const QColor kGreen{0, 192, 0};
inline const QColor kRed{255, 0, 0};

// 15 twips to a logical pixel; Qt scales logical pixels on dense screens.
constexpr int kTwipsPerPixel = 15;
QRect fromTwips(const QRect &twips);
QSize fromTwips(const QSize &twips);

void setTextColour(QLabel *label, const QColor &colour);
QColor textColour(const QLabel *label);
void setBackground(QWidget *widget, const QColor &colour);

// False on the offscreen platform, where nobody could see or dismiss a box.
bool canShowDialogs();
// Modal box with OK and Cancel; returns when either dismisses it.
void showMessageBox(const QString &title, const QString &text);

} // namespace toolkit
