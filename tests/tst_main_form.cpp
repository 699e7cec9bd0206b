// The window as a user sees it: every control in its place with its text, font and colour,
// nothing cut off under the fonts the setup installs, the logo, the maker's link, and the
// status colours as the real port finds a board on a pseudo-terminal or gives up.
#include "main_form.h"
#include "main_window.h"
#include "pseudo_terminal.h"
#include "qt_comm_port.h"
#include "toolkit.h"
#include "widget_window.h"

#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QColor kWhite{255, 255, 255};
const QColor kLinkBlue{0, 0, 192};
const QColor kDarkGrey{64, 64, 64};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's URL handler.
    void openUrl(const QUrl &url) { m_opened << url; }

private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void standInFontsAreInstalled_data();
    void standInFontsAreInstalled();
    void noTextIsClipped_data();
    void noTextIsClipped();
    void line1RunsBetweenDescriptionAndCredits();
    void windowIsFixedAndWhiteThroughTheLabels();
    void logoIsDrawn();
    void clickOnSiteOpensIt();
    void statusColourFollowsTheSearch_data();
    void statusColourFollowsTheSearch();

private:
    QLabel *label(const char *name) const { return m_window->findChild<QLabel *>(name); }

    std::unique_ptr<QWidget> m_window;
    MainForm m_form;
    QList<QUrl> m_opened;
};

void TestMainForm::init()
{
    m_window = std::make_unique<QWidget>();
    m_form.setupUi(m_window.get());
    m_opened.clear();
}

void TestMainForm::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestMainForm::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<int>("weight");
    QTest::addColumn<QColor>("colour");

    const QString segoe = "Segoe UI", courier = "Courier New", dialog = "MS Sans Serif";
    const int normal = QFont::Normal, semibold = QFont::DemiBold;
    QTest::newRow("Label4") << "Label4" << QRect(32, 24, 273, 41)
                            << "Sistema de acionamentos da controladora 2/4 relés produzida por "
                               "Pelmora Eletrônica."
                            << segoe << 9.75 << normal << toolkit::kBlack;
    QTest::newRow("Label5") << "Label5" << QRect(40, 64, 249, 89)
                            << "Linha de comando:\nComutel.exe parâmetro\nonde parâmetro pode ser:"
                            << segoe << 9.75 << normal << toolkit::kBlack;
    QTest::newRow("Label6") << "Label6" << QRect(80, 160, 169, 113)
                            << "1 (Liga relé 1)\n2 (Desliga relé 1)\n3 (Liga relé 2)\n"
                               "4 (Desliga relé 2)\n5 (Liga relé 3)\n6 (Desiga relé 3)\n"
                               "7 (Liga relé 4)\n8 (Desiga relé 4)"
                            << courier << 8.25 << normal << toolkit::kBlack;
    QTest::newRow("Label9") << "Label9" << QRect(40, 296, 137, 17)
                            << "Exemplo que liga o relé 1:" << dialog << 8.25 << normal
                            << toolkit::kBlack;
    QTest::newRow("Label8") << "Label8" << QRect(80, 312, 113, 17) << "Comutel.exe 1" << courier
                            << 9.75 << normal << toolkit::kBlack;
    QTest::newRow("Label2") << "Label2" << QRect(40, 360, 121, 17) << "Status da conexão:" << dialog
                            << 8.25 << normal << toolkit::kBlack;
    QTest::newRow("Label1") << "Label1" << QRect(144, 360, 185, 17) << "Buscando em COM" << dialog
                            << 8.25 << int(QFont::Bold) << toolkit::kBlack;
    QTest::newRow("Label3") << "Label3" << QRect(40, 384, 177, 17) << "Baudrate (bp/s):" << dialog
                            << 8.25 << normal << toolkit::kBlack;
    QTest::newRow("lblTitle") << "lblTitle" << QRect(120, 432, 259, 32)
                              << "Controladora de Relés Serial\nPelmora Controladores Eletrônicos"
                              << segoe << 8.25 << semibold << toolkit::kBlack;
    QTest::newRow("Label7") << "Label7" << QRect(120, 464, 123, 16) << MainForm::kMakerSite << segoe
                            << 9.75 << semibold << kLinkBlue;
    QTest::newRow("lblDescription") << "lblDescription" << QRect(32, 496, 267, 110) << QString()
                                    << dialog << 8.25 << normal << kDarkGrey;
}

void TestMainForm::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    QFETCH(QString, family);
    QFETCH(qreal, points);
    QFETCH(int, weight);
    QFETCH(QColor, colour);

    const QLabel *control = label(qPrintable(name));
    QVERIFY(control);
    QCOMPARE(control->geometry(), place);
    if (!text.isNull())
        QCOMPARE(control->text(), text);
    QCOMPARE(control->font().family(), family);
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().weight(), weight);
    QCOMPARE(control->font().underline(), name == "Label7");
    QCOMPARE(toolkit::textColour(control), colour);
    // The board's answer lands in Label8: markup in it must show as it came.
    QCOMPARE(control->textFormat(), Qt::PlainText);
}

void TestMainForm::standInFontsAreInstalled_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("standIn");
    for (const toolkit::FontSubstitute &font : toolkit::kFontSubstitutes)
        QTest::newRow(font.family) << font.family << font.standIn;
}

void TestMainForm::standInFontsAreInstalled()
{
    QFETCH(QString, family);
    QFETCH(QString, standIn);
    if (QFontDatabase::hasFamily(family))
        QSKIP("the real family is installed here");
    QVERIFY2(QFontDatabase::hasFamily(standIn), qPrintable(standIn + " is not installed"));
    QCOMPARE(QFontInfo(QFont(family)).family(), standIn);
    // The semibold texts need a true semibold face, not a bold or a synthesised one.
    QFont semibold(family);
    semibold.setWeight(QFont::DemiBold);
    if (family == "Segoe UI")
        QCOMPARE(QFontInfo(semibold).styleName(), QStringLiteral("Semibold"));
}

void TestMainForm::noTextIsClipped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text"); // null: the label's own
    for (const char *name : {"Label4", "Label5", "Label6", "Label9", "Label8", "Label2", "Label1",
                             "Label3", "lblTitle", "Label7", "lblDescription"})
        QTest::newRow(name) << name << QString();
    // The longest texts the controller writes.
    QTest::newRow("searching") << "Label1"
                               << "Buscando em COM 30";
    QTest::newRow("connected") << "Label1"
                               << "Conectado em COM 30";
    QTest::newRow("gave up") << "Label1"
                             << "Desconectado.";
    QTest::newRow("baud rate") << "Label3"
                               << "Baudrate: 300 bp/s";
}

void TestMainForm::noTextIsClipped()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    const QLabel *control = label(qPrintable(name));
    QVERIFY(control);
    if (text.isNull())
        text = control->text();

    const QRect room = control->contentsRect();
    const int flags = int(control->alignment()) | (control->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect needed =
        control->fontMetrics().boundingRect(QRect(0, 0, room.width(), 10000), flags, text);
    const QString sizes = QStringLiteral("needs %1x%2, has %3x%4")
                              .arg(needed.width())
                              .arg(needed.height())
                              .arg(room.width())
                              .arg(room.height());
    QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(), qPrintable(sizes));
    // lblTitle reaches past the window's edge; its text must not.
    QVERIFY(control->x() + needed.width() <= m_window->width());
}

void TestMainForm::line1RunsBetweenDescriptionAndCredits()
{
    const QLabel *description = label("lblDescription");
    const QStringList lines = description->text().split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.mid(0, 3).join(' '),
             "Visite nosso site para obter a vesão mais recente do Software de controle, o Driver "
             "de comunicação e detalhes sobre como adquirir a placa controladora.");
    QCOMPARE(lines.at(3), QString());
    for (const QString &credit : lines.mid(4))
        QVERIFY2(credit.contains("Pelmora"), qPrintable(credit));

    auto *line = m_window->findChild<QFrame *>("Line1");
    QVERIFY(line);
    QCOMPARE(line->geometry(), QRect(32, 544, 264, 1));
    QCOMPARE(line->palette().color(QPalette::Window), toolkit::kBlack);
    QVERIFY(line->autoFillBackground());

    // Without the line, its row and the rows beside it are white: it crosses no letter.
    line->hide();
    const QImage picture = m_window->grab().toImage();
    for (int y = line->y() - 1; y <= line->y() + 1; ++y)
        for (int x = line->x(); x < line->x() + line->width(); ++x)
            QVERIFY2(picture.pixelColor(x, y) == kWhite,
                     qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
}

void TestMainForm::windowIsFixedAndWhiteThroughTheLabels()
{
    QCOMPARE(m_window->size(), QSize(343, 620));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Controladora de relés Pelmora"));
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));

    const QImage picture = m_window->grab().toImage();
    QCOMPARE(picture.pixelColor(m_window->width() - 1, m_window->height() - 1), kWhite);
    QCOMPARE(picture.pixelColor(0, 0), kWhite);
    // Each label's bottom-right corner holds no text, so the window's white must show there.
    for (const QLabel *control : m_window->findChildren<QLabel *>()) {
        const QRect place = control->geometry() & m_window->rect();
        QVERIFY2(picture.pixelColor(place.bottomRight()) == kWhite,
                 qPrintable(control->objectName()));
    }
}

void TestMainForm::logoIsDrawn()
{
    const QLabel *icon = label("picIcon");
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(32, 416, 75, 69));
    QCOMPARE(icon->toolTip(), QStringLiteral("Logomarca da Pelmora"));
    const QPixmap logo = icon->pixmap();
    QCOMPARE(logo.deviceIndependentSize().toSize(), QSize(75, 69));
    // Drawn, on white: white corners, and the maker's blue in it.
    const QImage image = logo.toImage();
    QCOMPARE(image.pixelColor(0, 0), kWhite);
    QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), kWhite);
    bool blue = false;
    for (int y = 0; y < image.height() && !blue; ++y)
        for (int x = 0; x < image.width() && !blue; ++x)
            blue = image.pixelColor(x, y) == kLinkBlue;
    QVERIFY(blue);
    QVERIFY(!m_window->windowIcon().isNull());
}

void TestMainForm::clickOnSiteOpensIt()
{
    QLabel *site = label("Label7");
    QVERIFY(site);
    QCOMPARE(site->toolTip(),
             QStringLiteral("Clique para visitar o site e obter atualizações sobre este produto"));
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");

    // Pressed on the label but released off it: no click.
    QTest::mousePress(site, Qt::LeftButton);
    QTest::mouseRelease(site, Qt::LeftButton, {}, QPoint(site->width() + 20, 5));
    QVERIFY(m_opened.isEmpty());

    QTest::mouseClick(site, Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl>{MainForm::makerSiteUrl()});
    QCOMPARE(m_opened.first().host(), MainForm::kMakerSite);
    // Never a real company's address: only the reserved example domains.
    QVERIFY(m_opened.first().host().endsWith(".example"));
}

void TestMainForm::statusColourFollowsTheSearch_data()
{
    QTest::addColumn<bool>("boardOnCom2");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("board found") << true << "Conectado em COM 2" << toolkit::kGreen;
    QTest::newRow("no board") << false << "Desconectado." << toolkit::kRed;
}

void TestMainForm::statusColourFollowsTheSearch()
{
    QFETCH(bool, boardOnCom2);
    QFETCH(QString, status);
    QFETCH(QColor, colour);

    QTemporaryDir devices;
    PseudoTerminal board;
    QVERIFY(board.isValid());
    if (boardOnCom2)
        QVERIFY(QFile::link(board.slavePath(), devices.filePath("ttyS1")));
    QtCommPort port(devices.path());
    WidgetWindow window;
    MainWindow program(&port, &window, QString(), ReplyLog(devices.path()));
    program.onLoad();
    const QLabel *statusLabel = window.widget()->findChild<QLabel *>("Label1");
    QVERIFY(statusLabel);
    QTRY_COMPARE_WITH_TIMEOUT(statusLabel->text(), status, 20000);
    QCOMPARE(toolkit::textColour(statusLabel), colour);
    QCOMPARE(window.widget()->findChild<QLabel *>("Label3")->text(),
             QStringLiteral("Baudrate: 300 bp/s"));
}

QTEST_MAIN(TestMainForm)
#include "tst_main_form.moc"
