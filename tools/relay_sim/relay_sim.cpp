// relay_sim: a four-relay board on a pseudo-terminal, so that comutel can be tried and tested
// without hardware. Its first line on standard output is the port to hand the program (the
// slave side of the pseudo-terminal); then one line per relay switched. What it sends back is
// paced like a 300 baud line, one byte every 33 ms, so answers arrive in pieces as they would.
// Options make it misbehave the ways real boards and cables do.
#include "tools/relay_sim/simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <getopt.h>

namespace {

using std::chrono::milliseconds;

const char kUsage[] =
    "Uso: relay_sim [OPÇÕES]\n"
    "Simula a controladora de 4 relés num pseudo-terminal. A primeira linha da saída é o\n"
    "dispositivo a usar como porta; depois, uma linha por relé acionado.\n"
    "Comandos: 1 3 5 7 ligam os relés 1 a 4, 2 4 6 8 os desligam; E responde os quatro\n"
    "estados (\"0\" ou \"1\", relé 1 primeiro); R seguido do número responde o estado daquele\n"
    "relé. Essas respostas são escolha deste simulador. Outros bytes não têm resposta.\n"
    "  --pace=MS     intervalo entre bytes enviados (padrão 33, 300 bp/s; 0 sem pausa)\n"
    "  --silent      nunca responde\n"
    "  --late=MS     começa cada resposta MS milissegundos depois do comando\n"
    "  --nul         põe um byte NUL antes de cada byte da resposta\n"
    "  --chatter     fala sem parar, desde o início (0123456789...)\n"
    "  --hang-up     desliga a linha logo após o primeiro comando e termina\n"
    "  --verbose     conta em stderr cada byte recebido e cada resposta\n";

volatile sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

bool parseMilliseconds(const char *text, milliseconds *value)
{
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < 0 || number > 3600000)
        return false;
    *value = milliseconds(number);
    return true;
}

// 0 to run, 1 for bad usage, 2 after printing the help.
int parseOptions(int argc, char *argv[], SimulatorOptions *options)
{
    static const option longOptions[] = {{"pace", required_argument, nullptr, 'p'},
                                         {"late", required_argument, nullptr, 'l'},
                                         {"silent", no_argument, nullptr, 's'},
                                         {"nul", no_argument, nullptr, 'n'},
                                         {"chatter", no_argument, nullptr, 'c'},
                                         {"hang-up", no_argument, nullptr, 'u'},
                                         {"verbose", no_argument, nullptr, 'v'},
                                         {"help", no_argument, nullptr, 'h'},
                                         {nullptr, 0, nullptr, 0}};
    int option;
    while ((option = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'p':
        case 'l':
            if (!parseMilliseconds(optarg, option == 'p' ? &options->pace : &options->late)) {
                std::fprintf(stderr, "relay_sim: tempo inválido: %s\n", optarg);
                return 1;
            }
            break;
        case 's':
            options->silent = true;
            break;
        case 'n':
            options->nul = true;
            break;
        case 'c':
            options->chatter = true;
            break;
        case 'u':
            options->hangUp = true;
            break;
        case 'v':
            options->verbose = true;
            break;
        case 'h':
            std::fputs(kUsage, stdout);
            return 2;
        default:
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "relay_sim: argumento inesperado: %s\n", argv[optind]);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    SimulatorOptions options;
    const int parsed = parseOptions(argc, argv, &options);
    if (parsed != 0)
        return parsed == 2 ? 0 : 2;

    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&stopSignals, signal);
    }
    // Delivered only inside ppoll, so a stop can never slip in between the check and the wait.
    ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    Simulator simulator(options);
    if (!simulator.openLine())
        return 1;
    std::printf("%s\n", simulator.slavePath().c_str());
    std::fflush(stdout);
    return simulator.run(stopRequested);
}
