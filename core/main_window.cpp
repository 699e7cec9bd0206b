#include "main_window.h"

namespace {

const QStringList kAdvice{
    QStringLiteral("O Windows não pôde detectar a placa controladora."),
    QStringLiteral("Por favor, tente os seguintes procedimentos (sempre com permissões de "
                   "administrador do sistema):"),
    QStringLiteral("   - Reinstale o Comutel"),
    QStringLiteral("   - Copie o arquivos Comutel.exe e MSCOMM32.OCX para a pasta "
                   "C:\\WINDOWS\\SYSTEM32"),
    QStringLiteral("   - Copie o arquivos Comutel.exe e MSCOMM32.OCX para a pasta "
                   "C:\\WINDOWS\\SysWOW64"),
};

// The number a text starts with, as the settings' first field is read: "300," gives 300,
// no leading digits give 0.
int leadingNumber(const QString &text)
{
    int digits = 0;
    while (digits < text.size() && text.at(digits).isDigit())
        ++digits;
    return text.left(digits).toInt();
}

// The command as the board reads it, one byte per character: each upper-cased on its own where
// its upper case is again one character of ISO 8859-1 ("ß" and "ÿ" go as they are), and '?' for
// a character outside ISO 8859-1.
QByteArray commandBytes(const QString &parameter)
{
    QByteArray bytes;
    for (const char32_t c : parameter.toUcs4()) {
        const char32_t upper = QChar::toUpper(c);
        bytes += c > 0xff ? '?' : static_cast<char>(upper <= 0xff ? upper : c);
    }
    return bytes;
}

} // namespace

MainWindow::MainWindow(CommPort *port, Window *view, const QString &parameter, const ReplyLog &log,
                       QObject *parent)
    : QObject(parent), MSComm1(port), window(view), commandParameter(parameter), replyLog(log)
{
    // A coarse timer would fire the 500 ms time-out some 25 ms early.
    TimerConectar.setTimerType(Qt::PreciseTimer);
    TimerConectar.setInterval(kScanInterval);
    TimerRecebe.setTimerType(Qt::PreciseTimer);
    TimerRecebe.setInterval(kReplyTimeout);
    connect(&TimerConectar, &QTimer::timeout, this, &MainWindow::onScanTick);
    connect(&TimerRecebe, &QTimer::timeout, this, &MainWindow::onReplyTimeout);
    connect(MSComm1, &CommPort::comm, this, &MainWindow::onComm);
    connect(&replyCollector, &ReplyCollector::gathered, this, &MainWindow::onReplyGathered);
    window->setCloseHandler([this] { onCloseRequest(); });
}

MainWindow::~MainWindow()
{
    // The window may outlive us; a late close request must not reach a handler that is gone.
    window->setCloseHandler({});
}

const QStringList &MainWindow::advice()
{
    return kAdvice;
}

void MainWindow::onLoad()
{
    if (!replyLog.write("-")) {
        emit diagnostic(QStringLiteral("comutel: ") + replyLog.errorString());
        endProgram(ExitFatal);
        return;
    }
    if (commandMode())
        window->setVisible(false);
    portCounter = kFirstPort;
    if (!MSComm1->configure(CommSettings{})) {
        emit diagnostic(QStringLiteral("comutel: ") + MSComm1->errorString());
        endProgram(ExitFatal);
        return;
    }
    for (const QString &problem : MSComm1->mapProblems())
        emit diagnostic(QStringLiteral("comutel: ") + problem);
    TimerConectar.start();
    const int baud = leadingNumber(MSComm1->settings().left(4));
    window->setLabel3(QStringLiteral("Baudrate: %1 bp/s").arg(baud));
    // Shown only now, so that a start that fails never flashes the window up.
    if (!commandMode())
        window->setVisible(true);
}

void MainWindow::onCloseRequest()
{
    endProgram(ExitOk);
}

void MainWindow::onScanTick()
{
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);

    // Ports that are missing or busy simply fail to open here; the search goes on.
    MSComm1->setCommPort(portCounter);
    if (!MSComm1->setPortOpen(true) && !MSComm1->openProblem().isEmpty())
        openProblems << MSComm1->openProblem();
    setStatus(QStringLiteral("Buscando em COM %1").arg(portCounter), Window::Colour::Black);

    if (MSComm1->portOpen()) {
        setStatus(QStringLiteral("Conectado em COM %1").arg(portCounter), Window::Colour::Green);
        TimerConectar.stop();
        if (commandMode())
            sendCommand();
        return;
    }
    ++portCounter;
    if (portCounter > kLastPort)
        giveUp();
}

void MainWindow::giveUp()
{
    setStatus(QStringLiteral("Desconectado."), Window::Colour::Red);
    TimerConectar.stop();
    if (!commandMode())
        return;

    for (const QString &piece : kAdvice)
        emit diagnostic(piece);
    for (const QString &problem : std::as_const(openProblems))
        emit diagnostic(QStringLiteral("comutel: ") + problem);
    emit diagnostic(QStringLiteral("comutel: \"comutel --ports\" mostra o dispositivo de cada "
                                   "número COM e o que há nele"));
    // The message box, where a display allows one, follows once the event loop has ended.
    endProgram(ExitNoPort);
}

void MainWindow::sendCommand()
{
    const QByteArray command = commandBytes(commandParameter);
    if (!MSComm1->output(command)) {
        // Never sent, so there is no answer to wait for.
        emit diagnostic(QStringLiteral("comutel: comando não enviado: ") + MSComm1->errorString());
        endProgram(ExitFatal);
        return;
    }
    if (!command.startsWith('E') && !command.startsWith('R')) {
        MSComm1->setPortOpen(false);
        endProgram(ExitOk);
        return;
    }
    TimerRecebe.start();
}

void MainWindow::onComm(CommEvent event)
{
    if (event == comEvPortLost) {
        emit diagnostic(QStringLiteral("comutel: a porta COM %1 deixou de responder: %2")
                            .arg(portCounter)
                            .arg(MSComm1->errorString()));
        setStatus(QStringLiteral("Desconectado."), Window::Colour::Red);
        return;
    }
    if (event != comEvReceive)
        return;
    // The answer has begun in time; from here on it is whole when the line falls quiet.
    TimerRecebe.stop();
    replyCollector.add(MSComm1->input());
}

void MainWindow::onReplyGathered(const QByteArray &reply)
{
    window->setLabel8(QString::fromLatin1(reply));
    emit answered(reply);
    const bool logged = replyLog.write(reply);
    if (!logged)
        emit diagnostic(QStringLiteral("comutel: ") + replyLog.errorString());
    MSComm1->setPortOpen(false);
    endProgram(logged ? ExitOk : ExitFatal);
}

void MainWindow::onReplyTimeout()
{
    emit diagnostic(
        QStringLiteral("comutel: a placa não respondeu em %1 ms").arg(kReplyTimeout.count()));
    MSComm1->setPortOpen(false);
    endProgram(ExitNoAnswer);
}

void MainWindow::endProgram(int exitStatus)
{
    if (ended)
        return;
    ended = true;
    // Nothing may run after this: no tick, no time-out, no late bytes.
    TimerConectar.stop();
    TimerRecebe.stop();
    replyCollector.stop();
    disconnect(MSComm1, nullptr, this, nullptr);
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    emit finished(exitStatus);
}

void MainWindow::setStatus(const QString &text, Window::Colour colour)
{
    window->setLabel1(text, colour);
}
