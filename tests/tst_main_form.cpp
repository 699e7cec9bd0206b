// The window as a user sees it: each control's place, text, font and colour, and the status.
#include "main_form.h"
#include "toolkit.h"
#include "widget_window.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QTest>

#include <memory>

// Place in twips, as the window was drawn: 15 to a pixel. Style: font, weight, text colour.
static void addRow(const char *name, const QRect &twips, const char *style, const QString &text)
{
    QTest::newRow(name) << QRect(twips.topLeft() / 15, twips.size() / 15) << style << text;
}

class TestMainForm : public QObject
{
    Q_OBJECT

    QWidget *form() { return m_window->widget(); }
    Q_INVOKABLE void openUrl(const QUrl &url) { m_opened << url; } // the desktop's browser

    std::unique_ptr<WidgetWindow> m_window;
    QList<QUrl> m_opened;

private slots:
    void init() { m_window = std::make_unique<WidgetWindow>(); }

    void controls_data()
    {
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("text"); // without the credits below Line1, ours to word
        const char *segoe = "Segoe UI 9.75 400 #000000", *dialog = "MS Sans Serif 8.25 400 #000000";
        addRow("Label4", {480, 360, 4095, 615}, segoe,
               "Sistema de acionamentos da controladora 2/4 relés produzida por Pelmora "
               "Eletrônica.");
        addRow("Label5", {600, 960, 3735, 1335}, segoe,
               "Linha de comando:\nComutel.exe parâmetro\nonde parâmetro pode ser:");
        addRow("Label6", {1200, 2400, 2535, 1695}, "Courier New 8.25 400 #000000",
               "1 (Liga relé 1)\n2 (Desliga relé 1)\n3 (Liga relé 2)\n4 (Desliga relé 2)\n"
               "5 (Liga relé 3)\n6 (Desiga relé 3)\n7 (Liga relé 4)\n8 (Desiga relé 4)");
        addRow("Label9", {600, 4440, 2055, 255}, dialog, "Exemplo que liga o relé 1:");
        addRow("Label8", {1200, 4680, 1695, 255}, "Courier New 9.75 400 #000000", "Comutel.exe 1");
        addRow("Label2", {600, 5400, 1815, 255}, dialog, "Status da conexão:");
        addRow("Label1", {2160, 5400, 2775, 255}, "MS Sans Serif 8.25 700 #000000",
               "Buscando em COM");
        addRow("Label3", {600, 5760, 2655, 255}, dialog, "Baudrate (bp/s):");
        addRow("picIcon", {480, 6240, 1125, 1035}, dialog, "");
        addRow("lblTitle", {1800, 6480, 3885, 480}, "Segoe UI 8.25 600 #000000",
               "Controladora de Relés Serial\nPelmora Controladores Eletrônicos");
        addRow("Label7", {1800, 6960, 1845, 240}, "Segoe UI 9.75 600 underlined #0000c0",
               MainForm::kMakerSite);
        addRow("lblDescription", {480, 7440, 4005, 1650}, "MS Sans Serif 8.25 400 #404040",
               "Visite nosso site para obter a vesão mais recente do\nSoftware de controle, o "
               "Driver de comunicação e\ndetalhes sobre como adquirir a placa controladora.");
        addRow("Line1", {480, 8160, 4440 - 480, 15}, dialog, "");
    }

    void controls()
    {
        QFETCH(QRect, place);
        QFETCH(QString, style);
        QFETCH(QString, text);
        const QWidget *control = form()->findChild<QWidget *>(QTest::currentDataTag());
        QVERIFY(control);
        QCOMPARE(control->geometry(), place);
        QCOMPARE(control->property("text").toString().section("\n\n", 0, 0), text);
        const QFont &f = control->font();
        const QString font =
            QString::asprintf("%s %g %d%s ", qPrintable(f.family()), f.pointSizeF(), f.weight(),
                              f.underline() ? " underlined" : "");
        QCOMPARE(font + control->palette().windowText().color().name(), style);
    }

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

    void windowIsFixedWhiteAndTitled()
    {
        QCOMPARE(form()->size(), QSize(343, 620));
        QCOMPARE(form()->minimumSize(), form()->maximumSize());
        QCOMPARE(form()->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form()->windowTitle(), QStringLiteral("Controladora de relés Pelmora"));
        QCOMPARE(m_window->form().picIcon->pixmap().size(), QSize(75, 69)); // drawn, not missing
    }

    void statusColours()
    {
        m_window->setLabel1("Conectado em COM 2", Window::Colour::Green);
        QCOMPARE(m_window->form().Label1->palette().windowText().color(), QColor(0, 192, 0));
        m_window->setLabel1("Desconectado.", Window::Colour::Red);
        QCOMPARE(m_window->form().Label1->text(), QStringLiteral("Desconectado."));
        QCOMPARE(m_window->form().Label1->palette().windowText().color(), QColor(255, 0, 0));
        m_window->setLabel8("<b>1</b>"); // the board's answer, shown as sent, never as markup
        QCOMPARE(m_window->form().Label8->textFormat(), Qt::PlainText);
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
