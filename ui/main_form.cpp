#include "main_form.h"

#include "toolkit.h"

#include <QLabel>
#include <QWidget>

namespace {

QLabel *addLabel(QWidget *window, const char *name, const QString &text, QRect twipsPlace)
{
    auto *label = new QLabel(text, window);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(toolkit::fromTwips(twipsPlace));
    return label;
}

} // namespace

void MainForm::setupUi(QWidget *window)
{
    window->setWindowTitle(QStringLiteral("Controladora de relés Pelmora"));
    window->setFixedSize(toolkit::fromTwips(QSize(5145, 9300)));
    toolkit::setBackground(window, Qt::white);

    Label8 = addLabel(window, "Label8", QStringLiteral("Comutel.exe 1"), {1200, 4680, 1695, 255});
    Label1 = addLabel(window, "Label1", QStringLiteral("Buscando em COM"), {2160, 5400, 2775, 255});
    Label3 = addLabel(window, "Label3", QStringLiteral("Baudrate (bp/s):"), {600, 5760, 2655, 255});
    toolkit::setTextColour(Label1, toolkit::kBlack);
}
