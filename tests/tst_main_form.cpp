// The window as a user sees it: every control of the form's table by its name, at its place, in
// its font, colour and tooltip, no text clipped under the fonts that stand in on Linux, none taken
// for markup; the link opens its address; boxes in Portuguese that cannot hang unseen.
#include "core/advice.h"
#include "core/form.h"
#include "ui/toolkit.h"
#include "ui/widget_window.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

    QWidget *form() { return m_window->widget(); }
    QLabel *label(const char *name) { return form()->findChild<QLabel *>(name); }
    Q_INVOKABLE void openUrl(const QUrl &url) { m_opened << url; } // the desktop's browser

    std::unique_ptr<WidgetWindow> m_window;
    QList<QUrl> m_opened;

private slots:
    void init() { m_window = std::make_unique<WidgetWindow>(); }

    void theTableDrawnWithNoTextClipped()
    {
        for (const auto &font : toolkit::kFontSubstitutes)
            if (!QFontDatabase::hasFamily(font.family)) // the real family will do as well
                QCOMPARE(QFontInfo(QFont(font.family)).family(), font.standIn);
        m_window->setLabel1("Conectado em COM 30", Window::Colour::Black);
        m_window->setLabel3("Baudrate: 300 bp/s"); // the widest texts set at run time
        for (const form::Control &control : form::kControls) {
            const auto *drawn = form()->findChild<QWidget *>(control.name);
            QVERIFY2(drawn, control.name);
            QCOMPARE(drawn->geometry(), toolkit::fromTwips(control.place));
            QCOMPARE(drawn->toolTip(), QString::fromUtf8(control.tooltip));
            const auto *l = qobject_cast<const QLabel *>(drawn);
            QVERIFY(control.kind != form::Kind::Picture || !l->pixmap().isNull()); // SVG read
            if (control.kind != form::Kind::Label)
                continue;
            const QFont &font = l->font();
            QCOMPARE(std::tuple(font.family(), font.pointSizeF(), font.weight(), font.underline()),
                     std::tuple(QString(control.font.family), control.font.points,
                                QFont::Weight(control.font.weight), control.font.underline));
            if (control.colour)
                QCOMPARE(toolkit::textColour(l), toolkit::colourOf(*control.colour));
            QCOMPARE(l->textFormat(), Qt::PlainText); // the board's answer in Label8 too
            // No room past the window's edge, which lblTitle reaches beyond.
            const QRect room = l->contentsRect() & QRect(-l->pos(), form()->size());
            const QRect needed = l->fontMetrics().boundingRect(room, Qt::TextWordWrap, l->text());
            QVERIFY2(room.contains(needed), control.name);
        }
        m_window->setLabel1("Desconectado.", Window::Colour::Red);
        QCOMPARE(toolkit::textColour(label("Label1")), QColor(255, 0, 0));
    }

    void messageBox()
    {
        // Its lines as written, and in Portuguese whatever the locale; a failure's has OK alone.
        const auto box = toolkit::messageBox("t", "Ravelto\r\n\r\n   - Reinstale", true);
        QCOMPARE(box->text(), QStringLiteral("Ravelto\n\n   - Reinstale"));
        QCOMPARE(box->button(QMessageBox::Cancel)->text(), "Cancelar");
        QCOMPARE(toolkit::messageBox("t", "", false)->buttons().size(), 1);
        m_window->showMessageBox(advice::kTitle, advice::boxText()); // offscreen: returns at once
    }

    void clickOnTheLinkOpensIt()
    {
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        QTest::mouseClick(label("Label7"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>{QUrl(form::control("Label7").link)});
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_main_form.moc"
