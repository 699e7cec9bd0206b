#include "core/main_window.h"

#include "core/advice.h"

#include <algorithm>

namespace {

// The number a text starts with, as the settings' first field is read: "300," gives 300, no
// leading digits give 0.
int leadingNumber(const std::string &text)
{
    int number = 0;
    for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && number < 100000;
         ++i)
        number = number * 10 + (text[i] - '0');
    return number;
}

std::string withoutNuls(std::string bytes)
{
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    return bytes;
}

} // namespace

MainWindow::MainWindow(const Platform &platform, std::string parameter, SearchPlan searchPlan,
                       std::string hint)
    : MSComm1(platform.port), window(platform.window), loop(platform.loop), replyLog(platform.log),
      streams(platform.streams), codePage(platform.codePage),
      commandParameter(std::move(parameter)), turn(commandMode() ? platform.turn : nullptr),
      plan(std::move(searchPlan)), listingHint(std::move(hint)),
      TimerConectar(loop, kScanInterval, [this] { onScanTick(); }),
      TimerRecebe(loop, kReplyTimeout, [this] { onReplyTimeout(); }),
      turnRetry(loop, kTurnRetry, [this] { onTurnRetry(); }),
      replyCollector(loop, [this](const std::string &reply) { onReplyGathered(reply); })
{
    MSComm1.setCommHandler([this](CommEvent event) { onComm(event); });
    window.setCloseHandler([this] { onWindowClose(); });
}

MainWindow::~MainWindow()
{
    // The port and the window may outlive us; nothing of theirs may reach a handler that is gone.
    MSComm1.setCommHandler({});
    window.setCloseHandler({});
}

void MainWindow::onLoad()
{
    if (!replyLog.write("-")) {
        sayFailure(replyLog.errorString());
        endProgram(ExitFatal);
        return;
    }
    logWasReset = true;
    if (commandMode())
        window.setVisible(false);
    portCounter = static_cast<std::int16_t>(plan.first());
    if (!MSComm1.configure(CommSettings{})) {
        sayFailure(MSComm1.errorString());
        endProgram(ExitFatal);
        return;
    }
    for (const std::string &problem : plan.mapProblems)
        say(problem);
    waitForTurn();
    const int baud = leadingNumber(MSComm1.settings().substr(0, 4));
    window.setLabel3("Baudrate: " + std::to_string(baud) + " bp/s");
    // Shown only now, so that a start that fails never flashes the window up.
    if (!commandMode() && !ended)
        window.setVisible(true);
}

void MainWindow::onLoadFailed(const std::string &line)
{
    if (!replyLog.write("-"))
        say(replyLog.errorString());
    sayFailure(line);
    endProgram(ExitFatal);
}

void MainWindow::onCloseRequest()
{
    endProgram(ExitOk);
}

void MainWindow::onWindowLost(const std::string &line)
{
    windowLost = true;
    sayFailure(line);
    endProgram(ExitFatal);
}

// Hidden in command mode, the window is asked to close only by whatever ends the run from
// outside (taskkill, a log-off, a shutdown): its caller must not take that for success.
void MainWindow::onWindowClose()
{
    if (commandMode() && !ended) {
        // The port is open in command mode only once the query has gone out.
        say(std::string("interrompido por um pedido de fechamento ") +
            (MSComm1.portOpen() ? "antes da resposta da placa" : "antes de enviar o comando"));
        endProgram(ExitFatal);
        return;
    }
    onCloseRequest();
}

// The search starts once the turn is ours, or at once where there are no turns.
void MainWindow::waitForTurn()
{
    if (!turn) {
        startSearch();
        return;
    }
    turnAskedAt = loop.now();
    onTurnRetry();
}

void MainWindow::onTurnRetry()
{
    switch (turn->tryTake()) {
    case Turn::Result::Taken:
    case Turn::Result::Unavailable:
        break;
    case Turn::Result::Busy:
        if (loop.now() - turnAskedAt < kLongestTurnWait) {
            if (!turnRetry.isActive())
                turnRetry.start();
            return;
        }
        say((turn->holder().empty() ? std::string("outro programa") : turn->holder()) +
            " não liberou a vez em " + std::to_string(kLongestTurnWait.count() / 1000) +
            " s; seguindo sem esperar mais");
        break;
    case Turn::Result::Failed:
        say("não foi possível esperar a vez: " + turn->errorString() + "; seguindo sem esperar");
        break;
    }
    turnRetry.stop();
    startSearch();
}

void MainWindow::startSearch()
{
    TimerConectar.start();
}

void MainWindow::onScanTick()
{
    if (MSComm1.portOpen())
        MSComm1.setPortOpen(false);

    // Ports that are missing or busy simply fail to open here; the search goes on.
    MSComm1.setCommPort(portCounter);
    if (!MSComm1.setPortOpen(true) && !MSComm1.openProblem().empty())
        openProblems.push_back(MSComm1.openProblem());
    for (const std::string &notice : MSComm1.openNotices())
        say(notice);
    setStatus("Buscando em COM " + std::to_string(portCounter), Window::Colour::Black);

    if (MSComm1.portOpen()) {
        setStatus("Conectado em COM " + std::to_string(portCounter), Window::Colour::Green);
        TimerConectar.stop();
        if (commandMode())
            sendCommand();
        return;
    }
    // A port chosen by the user is the board or nothing: no other port may get its command.
    if (plan.onlyPort && openProblems.empty())
        say("a porta escolhida, COM" + std::to_string(portCounter) +
            ", não abriu: " + MSComm1.errorString());
    ++portCounter;
    if (portCounter > plan.last())
        giveUp();
}

void MainWindow::giveUp()
{
    setStatus("Desconectado.", Window::Colour::Red);
    TimerConectar.stop();
    if (!commandMode())
        return;
    diagnostics.insert(diagnostics.end(), advice::kPieces.begin(), advice::kPieces.end());
    for (const std::string &problem : openProblems)
        say(problem);
    if (!listingHint.empty())
        say(listingHint);
    endProgram(ExitNoPort);
}

void MainWindow::sendCommand()
{
    const std::string command = commandBytes(commandParameter, codePage);
    if (!MSComm1.output(command)) {
        // Never sent, so there is no answer to wait for.
        sayFailure("comando não enviado: " + MSComm1.errorString());
        endProgram(ExitFatal);
        return;
    }
    if (command[0] != 'E' && command[0] != 'R') {
        MSComm1.setPortOpen(false);
        endProgram(ExitOk);
        return;
    }
    TimerRecebe.start();
}

void MainWindow::onComm(CommEvent event)
{
    if (event == comEvPortLost) {
        say("a porta COM " + std::to_string(portCounter) +
            " deixou de responder: " + MSComm1.errorString());
        setStatus("Desconectado.", Window::Colour::Red);
        // No answer can come through a port that is gone: a script need not wait out the
        // time-out for it. An answer already begun is logged when its line falls quiet.
        if (TimerRecebe.isActive())
            endProgram(ExitNoAnswer);
        return;
    }
    if (event != comEvReceive)
        return;
    // Not every platform's port drops NUL bytes itself; a line of NULs alone is no answer.
    const std::string bytes = withoutNuls(MSComm1.input());
    if (bytes.empty())
        return;
    // The answer has begun in time; from here on it is whole when the line falls quiet.
    TimerRecebe.stop();
    replyCollector.add(bytes);
}

void MainWindow::onReplyGathered(const std::string &reply)
{
    window.setLabel8(textOfBytes(reply, codePage));
    answer = reply;
    replyLogged = true;
    const bool logged = replyLog.write(reply);
    if (!logged)
        sayFailure(replyLog.errorString());
    MSComm1.setPortOpen(false);
    endProgram(logged ? ExitOk : ExitFatal);
}

void MainWindow::onReplyTimeout()
{
    say("a placa não respondeu em " + std::to_string(kReplyTimeout.count()) + " ms");
    MSComm1.setPortOpen(false);
    endProgram(ExitNoAnswer);
}

// Every way out comes here, in one order: the log and the port, the turn, then the caller's
// streams and the message box, which may take as long as the caller or the user like.
void MainWindow::endProgram(int exitStatus)
{
    if (ended)
        return;
    ended = true;
    TimerConectar.stop();
    TimerRecebe.stop();
    turnRetry.stop();
    replyCollector.stop();
    MSComm1.setCommHandler({});
    // A caller reading the log after its run must not take another run's answer for its own.
    if (commandMode() && logWasReset && !replyLogged && !replyLog.write("-"))
        say(replyLog.errorString());
    if (MSComm1.portOpen())
        MSComm1.setPortOpen(false);
    if (turn)
        turn->release();

    if (answer)
        streams.writeOut(*answer + "\n");
    std::string lines;
    for (const std::string &line : diagnostics)
        lines += line + "\n";
    if (!lines.empty())
        streams.writeErr(lines);
    if (exitStatus == ExitNoPort)
        window.showMessageBox(advice::kTitle, advice::boxText());
    // A window has a person in front of it, who reads no standard error; a script never waits
    // on a box.
    else if (exitStatus == ExitFatal && !commandMode() && !windowLost)
        window.showFailure(kFailureTitle, failure);
    loop.end(exitStatus);
}

void MainWindow::setStatus(const std::string &text, Window::Colour colour)
{
    window.setLabel1(text, colour);
}
