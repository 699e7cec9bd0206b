// comutel: drives the Pelmora 2/4 relay board on a serial port at 300 baud. Command mode runs the
// controller on a poll loop of its own and loads no Qt; the window, and the advice box where a
// display allows one, come from the window module.
#include "code_page.h"
#include "command_line.h"
#include "main_window.h"
#include "poll_loop.h"
#include "port_listing.h"
#include "reply_log_file.h"
#include "stdio_streams.h"
#include "termination_signals.h"
#include "termios_port.h"
#include "turn_lock.h"
#include "window_module.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Says what the manual page says, in short.
const char kUsage[] =
    "Uso: comutel [COMANDO]\n"
    "     comutel --ports | --help | --version\n"
    "Aciona a controladora 2/4 relés Pelmora numa porta serial a 300 bp/s, 8N1.\n"
    "Procura a placa de COM2 a COM30, uma porta a cada 100 ms, e envia o COMANDO em maiúsculas,\n"
    "um byte por caractere (no conjunto de 8 bits do locale, ou em ISO 8859-1 se ele não tem um;\n"
    "o que fica fora dele vira \"?\"):\n"
    "  1 3 5 7     ligam os relés 1 a 4;   2 4 6 8   desligam os relés 1 a 4\n"
    "  E..., R...  consultas: a resposta sai na saída padrão e fica em log.txt, ao lado do\n"
    "              executável (o log vale \"-\" enquanto não há resposta)\n"
    "Sem COMANDO, mostra a janela com o estado da conexão e mantém a porta aberta.\n"
    "Execuções no modo comando esperam a vez umas das outras (até 30 s); portas travadas por\n"
    "outros programas (/run/lock/LCK..*, flock) são puladas.\n"
    "Portas: COM1 a COM4 são /dev/ttyS0 a ttyS3; COM5 em diante, os adaptadores USB (ttyUSB0...,\n"
    "depois ttyACM0...). Um link comN em ~/.config/comutel/ports (ou, para todos, em\n"
    "/etc/comutel/ports) fixa o número N num dispositivo, como /dev/serial/by-id/...\n"
    "COMUTEL_DEVICE=/dev/serial/by-id/... (variável de ambiente): só esse dispositivo é tentado,\n"
    "no número COM que o mapa lhe dá (COM2 se nenhum); se não abrir, nada é enviado a outro.\n"
    "  --ports     lista cada número COM com dispositivo, de onde veio o número e o que há nele\n"
    "              (livre, em uso, sem permissão...): o primeiro passo se a placa não é achada\n"
    "Estado de saída: 0 enviado (e resposta gravada) ou janela fechada; 1 nenhuma porta abriu;\n"
    "2 a placa não respondeu em 500 ms; 3 erro fatal (log.txt não gravável, comando não\n"
    "enviado, sem tela para a janela, saída não gravável).\n"
    "Para abrir uma porta serial, o usuário precisa pertencer ao grupo dono dela, normalmente\n"
    "dialout: sudo adduser $USER dialout, e entrar de novo na sessão. Veja man comutel.\n";

const char kListingHint[] =
    "\"comutel --ports\" mostra o dispositivo de cada número COM e o que há nele";

void printLine(const std::string &line)
{
    std::fprintf(stderr, "comutel: %s\n", line.c_str());
    std::fflush(stderr);
}

// Help and --ports are what the caller asked for: a failed write is an error, not a success.
int printOut(const std::string &text)
{
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    if (written)
        return ExitOk;
    printLine(std::string("não foi possível escrever na saída padrão: ") + std::strerror(errno));
    return ExitFatal;
}

bool displayNamed()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char *value = std::getenv(name); value && *value)
            return true;
    return false;
}

// Lists the Qt platforms to try, ending with offscreen so that a missing or unreachable display
// never aborts the program. Returns whether the caller asked for offscreen itself.
bool choosePlatform()
{
    const char *asked = std::getenv("QT_QPA_PLATFORM");
    std::string platforms = asked ? asked : "";
    if (platforms.empty()) {
        if (const char *wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
            platforms = "wayland";
        if (const char *x11 = std::getenv("DISPLAY"); x11 && *x11)
            platforms += platforms.empty() ? "xcb" : ";xcb";
    }
    const bool askedOffscreen = (";" + platforms + ";").find(";offscreen;") != std::string::npos;
    if (!askedOffscreen)
        platforms += platforms.empty() ? "offscreen" : ";offscreen";
    ::setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
    return askedOffscreen;
}

WindowModule *loadWindowModule(std::string *problem)
{
    WindowModule *module = WindowModule::load(problem);
    if (!module)
        *problem = "não foi possível carregar a janela: " + *problem;
    return module;
}

// Command mode's window shows nothing but the advice box, and that only where a display is.
class AdviceWindow : public HeadlessWindow
{
public:
    explicit AdviceWindow(char **argv) : m_argv(argv) {}
    // Where a termination signal comes while the box is up, when no loop of ours reads it.
    void closeOn(int signalFd) { m_signalFd = signalFd; }
    void showMessageBox(const std::string &title, const std::string &text) override
    {
        if (!displayNamed() || choosePlatform())
            return;
        std::string problem;
        WindowModule *module = loadWindowModule(&problem);
        if (!module)
            printLine(problem);
        else if (module->start(m_argc, m_argv)) {
            module->closeBoxesOn(m_signalFd);
            module->showMessageBox(title, text);
        }
    }

private:
    int m_argc = 1;
    char **m_argv;
    int m_signalFd = -1;
};

// The platform's objects around the controller, for either loop.
struct Program
{
    Program(EventLoop &loop, FdWatcher &watcher, Window &window, const std::string &parameter)
        : port(places, watcher), program({port, window, loop, log, streams, *codePage, &turn},
                                         parameter, portnames::searchPlan(places.map), kListingHint)
    {
        watcher.watch(signals.fd(), [this] {
            if (signals.consume())
                program.onCloseRequest();
        });
    }
    // After the loop: a run ended by a signal ends by that same signal, as its caller expects;
    // so does one whose box a signal closed, which no loop was there to read.
    int finish(int status)
    {
        if (signals.consume())
            signals.reraise(signals.received());
        return status;
    }

    TerminationSignals signals;
    const TermiosPort::Places places = TermiosPort::Places::ofSystem();
    TermiosPort port;
    ReplyLogFile log = ReplyLogFile::besideExecutable();
    StdioStreams streams;
    TurnLock turn{TurnLock::kBuildPath};
    const std::unique_ptr<CodePage> codePage = localeCodePage();
    MainWindow program;
};

int commandMode(const std::string &parameter, char **argv)
{
    PollLoop loop;
    AdviceWindow window(argv);
    Program run(loop, loop, window, parameter);
    window.closeOn(run.signals.fd());
    run.program.onLoad();
    return run.finish(loop.run());
}

// A window that cannot be shown ends the start, as the controller ends one: on its own loop.
int failedStart(const std::string &line)
{
    PollLoop loop;
    HeadlessWindow window;
    Program run(loop, loop, window, "");
    run.program.onLoadFailed(line);
    return run.finish(loop.run());
}

// Qt ends the process with exit(1) when the display goes away under the window (a logout, an X
// server that crashed), and none of our destructors runs then: the window's run must still close
// its port, remove its locks and end with its own status, not the one that means "no port".
Program *windowRun = nullptr;

void endWithLostDisplay()
{
    if (Program *const run = std::exchange(windowRun, nullptr)) {
        run->program.onWindowLost("a conexão com a tela se perdeu (a sessão ou o servidor gráfico "
                                  "terminou); a porta foi fechada");
        std::_Exit(ExitFatal);
    }
}

int windowMode(char **argv)
{
    std::string problem;
    WindowModule *module = loadWindowModule(&problem);
    if (!module)
        return failedStart(problem);
    const bool askedOffscreen = choosePlatform();
    static int argc = 1;
    if (!module->start(argc, argv) && !askedOffscreen) {
        const char *display = std::getenv("DISPLAY");
        return failedStart(std::string("nenhuma tela disponível para a janela (DISPLAY=\"") +
                           (display ? display : "") + "\")");
    }
    std::setlocale(LC_CTYPE, ""); // the answer shown in the locale's 8-bit set
    Program run(module->loop(), module->watcher(), module->mainWindow(), "");
    module->closeBoxesOn(run.signals.fd());
    windowRun = &run;
    std::atexit(endWithLostDisplay);
    run.program.onLoad();
    const int status = module->exec();
    windowRun = nullptr;
    return run.finish(status);
}

int listPorts()
{
    const TermiosPort::Places places = TermiosPort::Places::ofSystem();
    for (const std::string &problem : places.map.ignored)
        printLine(problem);
    const std::vector<std::string> lines =
        portListing(portnames::searchPlan(places.map), places.map, places.locks);
    if (lines.empty())
        printLine("nenhum número COM tem dispositivo");
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return printOut(text);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any open: a closed standard stream must not become the serial port.
    StdioStreams::keepStandardStreamsOpen();
    std::signal(SIGPIPE, SIG_IGN);
    // Loading the locale costs the start-up: only where the command's bytes depend on it.
    if (localeMatters(argc, argv, ctypeLocaleName()))
        std::setlocale(LC_CTYPE, "");
    const std::string parameter = commandParameter(argc, argv);
    if (parameter == "--help")
        return printOut(kUsage);
    if (parameter == "--version")
        return printOut("comutel " COMUTEL_VERSION "\n");
    if (parameter == "--ports")
        return listPorts();
    return parameter.empty() ? windowMode(argv) : commandMode(parameter, argv);
}
