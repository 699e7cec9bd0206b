#include "posix/info_command.h"

#include "core/exit_status.h"
#include "posix/port_listing.h"
#include "posix/termios_port.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

std::optional<int> infoCommand(const std::string &parameter)
{
    if (parameter == "--help")
        return printOut(kUsage);
    if (parameter == "--version")
        return printOut("comutel " COMUTEL_VERSION "\n");
    if (parameter == "--ports")
        return listPorts();
    return std::nullopt;
}
