#include "main_form.h"

#include "link_label.h"
#include "toolkit.h"

#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include <utility>

namespace {

// Families as the window was drawn with them; toolkit names what stands in for each on Linux.
const QString kSegoe = QStringLiteral("Segoe UI");
const QString kCourier = QStringLiteral("Courier New");
const QString kDialogFamily = QStringLiteral("MS Sans Serif");

const QString kLogo = QStringLiteral(":/comutel/comutel.svg");
const QSize kLogoSize{75, 69};

const QStringList kCommands{
    QStringLiteral("1 (Liga relé 1)"), QStringLiteral("2 (Desliga relé 1)"),
    QStringLiteral("3 (Liga relé 2)"), QStringLiteral("4 (Desliga relé 2)"),
    QStringLiteral("5 (Liga relé 3)"), QStringLiteral("6 (Desiga relé 3)"),
    QStringLiteral("7 (Liga relé 4)"), QStringLiteral("8 (Desiga relé 4)"),
};

// The blank line lets Line1 run between the invitation and the credits.
const QStringList kDescription{
    QStringLiteral("Visite nosso site para obter a vesão mais recente do"),
    QStringLiteral("Software de controle, o Driver de comunicação e"),
    QStringLiteral("detalhes sobre como adquirir a placa controladora."),
    QString(),
    QStringLiteral("Programa desenvolvido pela Pelmora Eletrônica."),
    QStringLiteral("Logomarca criada pela equipe da Pelmora."),
};

QFont fontOf(const QString &family, qreal points, QFont::Weight weight = QFont::Normal)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

template <typename Label = QLabel, typename... Args>
Label *addLabel(QWidget *window, const char *name, const QRect &twips, Args &&...args)
{
    auto *label = new Label(std::forward<Args>(args)..., window);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(toolkit::fromTwips(twips));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Label8 shows whatever the board answers: never take it for markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

void MainForm::setupUi(QWidget *window)
{
    setupWindow(window);
    setupUsage(window);
    setupStatus(window);
    setupMaker(window);
}

void MainForm::setupWindow(QWidget *window)
{
    Q_INIT_RESOURCE(comutel);
    toolkit::installFontSubstitutes();
    window->setWindowTitle(QStringLiteral("Controladora de relés Pelmora"));
    window->setWindowIcon(QIcon(toolkit::pictureFromSvg(kLogo, kLogoSize * 2, 1)));
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setFixedSize(toolkit::fromTwips(QSize(5145, 9300)));
    // The dialog font, which every control without a font of its own uses.
    window->setFont(fontOf(kDialogFamily, 8.25));
    toolkit::setBackground(window, Qt::white);
}

void MainForm::setupUsage(QWidget *window)
{
    Label4 = addLabel(window, "Label4", {480, 360, 4095, 615},
                      QStringLiteral("Sistema de acionamentos da controladora 2/4 relés produzida "
                                     "por Pelmora Eletrônica."));
    Label4->setFont(fontOf(kSegoe, 9.75));
    Label4->setWordWrap(true);
    Label5 = addLabel(window, "Label5", {600, 960, 3735, 1335},
                      QStringLiteral("Linha de comando:\nComutel.exe parâmetro\n"
                                     "onde parâmetro pode ser:"));
    Label5->setFont(fontOf(kSegoe, 9.75));
    Label6 = addLabel(window, "Label6", {1200, 2400, 2535, 1695}, kCommands.join('\n'));
    Label6->setFont(fontOf(kCourier, 8.25));
    Label9 = addLabel(window, "Label9", {600, 4440, 2055, 255},
                      QStringLiteral("Exemplo que liga o relé 1:"));
    Label8 = addLabel(window, "Label8", {1200, 4680, 1695, 255}, QStringLiteral("Comutel.exe 1"));
    Label8->setFont(fontOf(kCourier, 9.75));
}

void MainForm::setupStatus(QWidget *window)
{
    Label2 =
        addLabel(window, "Label2", {600, 5400, 1815, 255}, QStringLiteral("Status da conexão:"));
    Label1 = addLabel(window, "Label1", {2160, 5400, 2775, 255}, QStringLiteral("Buscando em COM"));
    Label1->setFont(fontOf(kDialogFamily, 8.25, QFont::Bold));
    toolkit::setTextColour(Label1, toolkit::kBlack);
    Label3 = addLabel(window, "Label3", {600, 5760, 2655, 255}, QStringLiteral("Baudrate (bp/s):"));
}

void MainForm::setupMaker(QWidget *window)
{
    picIcon = addLabel(window, "picIcon", {480, 6240, 1125, 1035});
    picIcon->setPixmap(toolkit::pictureFromSvg(kLogo, kLogoSize, window->devicePixelRatioF()));
    picIcon->setToolTip(QStringLiteral("Logomarca da Pelmora"));

    lblTitle = addLabel(window, "lblTitle", {1800, 6480, 3885, 480},
                        QStringLiteral("Controladora de Relés Serial\n"
                                       "Pelmora Controladores Eletrônicos"));
    lblTitle->setFont(fontOf(kSegoe, 8.25, QFont::DemiBold));
    toolkit::setTextColour(lblTitle, toolkit::kBlack);

    Label7 =
        addLabel<LinkLabel>(window, "Label7", {1800, 6960, 1845, 240}, kMakerSite, makerSiteUrl());
    QFont linkFont = fontOf(kSegoe, 9.75, QFont::DemiBold);
    linkFont.setUnderline(true);
    Label7->setFont(linkFont);
    toolkit::setTextColour(Label7, QColor(0, 0, 192));
    Label7->setToolTip(QStringLiteral("Clique para visitar o site e obter atualizações sobre "
                                      "este produto"));

    lblDescription =
        addLabel(window, "lblDescription", {480, 7440, 4005, 1650}, kDescription.join('\n'));
    toolkit::setTextColour(lblDescription, QColor(64, 64, 64));

    Line1 = new QFrame(window);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(toolkit::fromTwips(QRect(480, 8160, 4440 - 480, 15)));
    toolkit::setBackground(Line1, toolkit::kBlack);
}
