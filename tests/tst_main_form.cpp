// The window as a user sees it: no text clipped under the fonts that stand in on Linux, the
// status colours, the controller's UTF-8 shown as plain text, the link that opens the maker's
// site, and message boxes in Portuguese that cannot hang where nobody sees them.
#include "advice.h"
#include "main_form.h"
#include "toolkit.h"
#include "widget_window.h"

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
    Q_INVOKABLE void openUrl(const QUrl &url) { m_opened << url; } // the desktop's browser

    std::unique_ptr<WidgetWindow> m_window;
    QList<QUrl> m_opened;

private slots:
    void init() { m_window = std::make_unique<WidgetWindow>(); }

    void noTextIsClippedUnderTheStandInFonts()
    {
        for (const auto &font : toolkit::kFontSubstitutes)
            if (!QFontDatabase::hasFamily(font.family)) // the real family will do as well
                QCOMPARE(QFontInfo(QFont(font.family)).family(), font.standIn);
        m_window->setLabel1("Conectado em COM 30", Window::Colour::Green);
        m_window->setLabel3("Baudrate: 300 bp/s"); // the widest texts set at run time
        for (const QLabel *l : form()->findChildren<QLabel *>()) {
            // No room past the window's edge, which lblTitle reaches beyond.
            const QRect room = l->contentsRect() & QRect(-l->pos(), form()->size());
            const int flags = int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0);
            const QRect needed = l->fontMetrics().boundingRect(room, flags, l->text());
            QVERIFY2(room.contains(needed), qPrintable(l->objectName()));
        }
    }

    void logoIsDrawn() { QVERIFY(!m_window->form().picIcon->pixmap().isNull()); } // SVG read

    void statusColours()
    {
        m_window->setLabel1("Conectado em COM 2", Window::Colour::Green);
        QCOMPARE(m_window->form().Label1->palette().windowText().color(), QColor(0, 192, 0));
        m_window->setLabel1("Desconectado.", Window::Colour::Red);
        QCOMPARE(m_window->form().Label1->palette().windowText().color(), QColor(255, 0, 0));
        m_window->setLabel8("<b>AÇÃO</b>"); // the board's answer as sent, never as markup
        QCOMPARE(m_window->form().Label8->textFormat(), Qt::PlainText);
        QCOMPARE(m_window->form().Label8->text(), QStringLiteral("<b>AÇÃO</b>"));
    }

    void messageBox()
    {
        QCOMPARE(toolkit::fromCrLfText("Ravelto\r\n\r\n   - Reinstale"),
                 QStringLiteral("Ravelto\n\n   - Reinstale"));
        // In Portuguese whatever the locale; a failure's box has OK alone.
        QCOMPARE(toolkit::messageBox("t", "", true)->button(QMessageBox::Cancel)->text(),
                 "Cancelar");
        QCOMPARE(toolkit::messageBox("t", "", false)->buttons().size(), 1);
        m_window->showMessageBox(advice::kTitle, advice::boxText()); // offscreen: returns at once
    }

    void clickOnSiteOpensIt()
    {
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        QTest::mouseClick(m_window->form().Label7, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>{MainForm::makerSiteUrl()});
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_main_form.moc"
