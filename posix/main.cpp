// comutel: drives the Pelmora 2/4 relay board on a serial port at 300 baud.
#include "main_window.h"
#include "port_listing.h"
#include "qt_comm_port.h"
#include "reply_log.h"
#include "turn_lock.h"
#include "window_module.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Says what the manual page says, in short.
const char kUsage[] =
    "Uso: comutel [COMANDO]\n"
    "     comutel --ports | --help | --version\n"
    "Aciona a controladora 2/4 relés Pelmora numa porta serial a 300 bp/s, 8N1.\n"
    "Procura a placa de COM2 a COM30, uma porta a cada 100 ms, e envia o COMANDO em maiúsculas,\n"
    "um byte por caractere (ISO 8859-1; o que fica fora dela vira \"?\"):\n"
    "  1 3 5 7     ligam os relés 1 a 4;   2 4 6 8   desligam os relés 1 a 4\n"
    "  E..., R...  consultas: a resposta sai na saída padrão e fica em log.txt, ao lado do\n"
    "              executável (o log vale \"-\" enquanto não há resposta)\n"
    "Sem COMANDO, mostra a janela com o estado da conexão e mantém a porta aberta.\n"
    "Execuções no modo comando esperam a vez umas das outras (até 30 s); portas travadas por\n"
    "outros programas (/run/lock/LCK..*, flock) são puladas.\n"
    "Portas: COM1 a COM4 são /dev/ttyS0 a ttyS3; COM5 em diante, os adaptadores USB (ttyUSB0...,\n"
    "depois ttyACM0...). Um link comN em ~/.config/comutel/ports (ou, para todos, em\n"
    "/etc/comutel/ports) fixa o número N num dispositivo, como /dev/serial/by-id/...\n"
    "  --ports     lista cada número COM com dispositivo, de onde veio o número e o que há nele\n"
    "              (livre, em uso, sem permissão...): o primeiro passo se a placa não é achada\n"
    "Estado de saída: 0 enviado (e resposta gravada) ou janela fechada; 1 nenhuma porta abriu;\n"
    "2 a placa não respondeu em 500 ms; 3 erro fatal (log.txt não gravável, comando não\n"
    "enviado, sem tela para a janela).\n"
    "Para abrir uma porta serial, o usuário precisa pertencer ao grupo dono dela, normalmente\n"
    "dialout: sudo adduser $USER dialout, e entrar de novo na sessão. Veja man comutel.\n";

// Everything after the program name, as one text. Read before Qt sees argv, so that a command
// such as "-reverse" goes to the board instead of being taken as a Qt option.
QString commandParameterFrom(int argc, char *argv[])
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    return words.join(QLatin1Char(' '));
}

// Scripts read our standard error; Qt's own notes (platform fallbacks, "device not open")
// would only confuse them.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

void printLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The answer for `answer=$(comutel E)`. A reader that went away or a closed standard output
// must cost neither the log nor the exit status.
void printAnswer(const QByteArray &answer)
{
    std::fwrite(answer.constData(), 1, answer.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout); // SIGPIPE is ignored: a write that fails only fails
}

// A standard stream that the caller closed would be handed out again by the next open, and the
// answer or a diagnostic could land in the serial port.
void keepStandardStreamsOpen()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return;
    }
}

bool displayNamed()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Lists the platforms to try, ending with offscreen so that a missing or unreachable display
// never aborts the program. Returns whether the caller asked for offscreen itself.
bool choosePlatform()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty()) {
        QByteArrayList candidates;
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            candidates << "wayland";
        if (!qEnvironmentVariableIsEmpty("DISPLAY"))
            candidates << "xcb";
        platforms = candidates.join(';');
    }
    const bool askedOffscreen = platforms.split(';').contains("offscreen");
    if (!askedOffscreen)
        platforms += platforms.isEmpty() ? "offscreen" : ";offscreen";
    qputenv("QT_QPA_PLATFORM", platforms);
    return askedOffscreen;
}

// Where a window or a box is to be shown.
WindowModule *loadWindowModule()
{
    QString problem;
    WindowModule *module = WindowModule::load(&problem);
    if (!module)
        printLine(QStringLiteral("comutel: não foi possível carregar a janela: %1").arg(problem));
    return module;
}

// Runs MainWindow until it ends; returns its exit status.
int run(QCoreApplication &app, Window *window, const QString &commandParameter)
{
    QtCommPort port(QtCommPort::Places::ofSystem());
    MainWindow program(&port, window, commandParameter, ReplyLog::besideExecutable());
    QObject::connect(&program, &MainWindow::diagnostic, &printLine);
    QObject::connect(&program, &MainWindow::answered, &printAnswer);
    // Queued, so that an end during onLoad still reaches the loop once it runs.
    QObject::connect(&program, &MainWindow::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    program.onLoad();
    return app.exec();
}

// With a display the advice also comes as a message box, once the search is over.
void showAdviceBox(char *programName)
{
    if (!displayNamed() || choosePlatform())
        return;
    WindowModule *module = loadWindowModule();
    if (!module)
        return;
    int argc = 1;
    std::unique_ptr<QCoreApplication> app(module->createApplication(argc, &programName));
    if (module->hasDisplay())
        module->showMessageBox(QStringLiteral("Ravelto"),
                               MainWindow::advice().join(QStringLiteral("\n\n")));
}

int listPorts()
{
    const QtCommPort::Places places = QtCommPort::Places::ofSystem();
    const portnames::PortMap map = portnames::comPorts(places.devices, places.maps);
    for (const QString &problem : map.ignored)
        printLine(QStringLiteral("comutel: ") + problem);
    const QStringList lines = portListing(map, places.locks);
    if (lines.isEmpty())
        printLine(QStringLiteral("comutel: nenhum número COM tem dispositivo"));
    for (const QString &line : lines)
        std::printf("%s\n", line.toLocal8Bit().constData());
    return 0;
}

// Our turn on the board, among the comutels that other scripts start at the same moment.
void waitForTurn(TurnLock &turn)
{
    switch (turn.take()) {
    case TurnLock::Result::Taken:
    case TurnLock::Result::Unavailable:
        return;
    case TurnLock::Result::TimedOut:
        printLine(QStringLiteral("comutel: outro comutel não liberou a vez em %1 s; seguindo sem "
                                 "esperar mais")
                      .arg(TurnLock::kLongestWait.count()));
        return;
    case TurnLock::Result::Failed:
        printLine(
            QStringLiteral("comutel: não foi possível esperar a vez: %1; seguindo sem esperar")
                .arg(turn.errorString()));
        return;
    }
}

int commandMode(const QString &commandParameter, char *programName)
{
    int status;
    {
        TurnLock turn; // held until the port is closed, not while a message box is up
        waitForTurn(turn);
        int argc = 1;
        QCoreApplication app(argc, &programName);
        HeadlessWindow window;
        status = run(app, &window, commandParameter);
    }
    if (status == MainWindow::ExitNoPort)
        showAdviceBox(programName);
    return status;
}

// A window that cannot be shown ends the start; no earlier answer may survive it in the log.
int failedStart()
{
    ReplyLog::besideExecutable().write("-");
    return MainWindow::ExitFatal;
}

int windowMode(char *programName)
{
    WindowModule *module = loadWindowModule();
    if (!module)
        return failedStart();
    const bool askedOffscreen = choosePlatform();
    int argc = 1;
    std::unique_ptr<QCoreApplication> app(module->createApplication(argc, &programName));
    if (!askedOffscreen && !module->hasDisplay()) {
        printLine(QStringLiteral("comutel: nenhuma tela disponível para a janela (DISPLAY=\"%1\")")
                      .arg(qEnvironmentVariable("DISPLAY")));
        return failedStart();
    }
    std::unique_ptr<Window> window(module->createWindow());
    return run(*app, window.get(), QString());
}

} // namespace

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    std::signal(SIGPIPE, SIG_IGN);
    const QString commandParameter = commandParameterFrom(argc, argv);
    if (commandParameter == QLatin1String("--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (commandParameter == QLatin1String("--version")) {
        std::puts("comutel " COMUTEL_VERSION);
        return 0;
    }
    qInstallMessageHandler(dropQtMessages);
    if (commandParameter == QLatin1String("--ports"))
        return listPorts();
    return commandParameter.isEmpty() ? windowMode(argv[0])
                                      : commandMode(commandParameter, argv[0]);
}
