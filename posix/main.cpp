// comutel: drives the Pelmora 2/4 relay board on a serial port at 300 baud. Command mode runs the
// controller on a poll loop of its own and loads no Qt; the window, and the advice box where a
// display allows one, come from the window module.
#include "core/main_window.h"
#include "posix/advice_window.h"
#include "posix/command_line.h"
#include "posix/info_command.h"
#include "posix/poll_loop.h"
#include "posix/reply_log_file.h"
#include "posix/stdio_streams.h"
#include "posix/termination_signals.h"
#include "posix/termios_port.h"
#include "posix/turn_lock.h"
#include "ui/window_module.h"

#include <clocale>
#include <csignal>

namespace {

const char kListingHint[] =
    "\"comutel --ports\" mostra o dispositivo de cada número COM e o que há nele";

// The platform's objects around the controller, on either loop.
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
    TerminationSignals signals;
    const TermiosPort::Places places = TermiosPort::Places::ofSystem();
    TermiosPort port;
    ReplyLogFile log = ReplyLogFile::besideExecutable();
    StdioStreams streams;
    TurnLock turn{TurnLock::kBuildPath};
    const std::unique_ptr<CodePage> codePage = localeCodePage();
    MainWindow program;
};

// Command mode, or a window's start that failed: the controller on a poll loop of its own.
int runOnPollLoop(const std::string &parameter, char **argv, const std::string &startProblem = {})
{
    PollLoop loop;
    AdviceWindow window(argv);
    Program run(loop, loop, window, parameter);
    window.attach(run.streams, run.signals.fd());
    startProblem.empty() ? run.program.onLoad() : run.program.onLoadFailed(startProblem);
    return run.signals.finish(loop.run());
}

int runOnQtLoop(char **argv)
{
    static int argc = 1;
    std::string problem;
    WindowModule *const module = WindowModule::load(&problem);
    if (!module)
        return runOnPollLoop({}, argv, "não foi possível carregar a janela: " + problem);
    if (!module->start(argc, argv, &problem))
        return runOnPollLoop({}, argv, problem);
    std::setlocale(LC_CTYPE, ""); // the answer shown in the locale's 8-bit set
    Program run(module->loop(), module->watcher(), module->mainWindow(), {});
    module->closeBoxesOn(run.signals.fd());
    run.program.onLoad();
    return run.signals.finish(
        module->exec([&run](const std::string &line) { run.program.onWindowLost(line); }));
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
    if (const std::optional<int> status = infoCommand(parameter))
        return *status;
    return parameter.empty() ? runOnQtLoop(argv) : runOnPollLoop(parameter, argv);
}
