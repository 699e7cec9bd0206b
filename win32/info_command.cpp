#include "win32/info_command.h"

#include "core/exit_status.h"
#include "version.h"
#include "win32/port_listing.h"
#include "win32/win32_standard_streams.h"

namespace {

// At most 79 columns a line: an 80-column console breaks a full line mid-word.
const char kUsage[] =
    "Uso: Comutel.exe [COMANDO]\n"
    "     Comutel.exe --ports | --help | /? | --version\n"
    "Aciona a controladora 2/4 relés Pelmora numa porta COM a 300 bp/s, 8N1.\n"
    "Procura a placa de COM2 a COM30, uma porta a cada 100 ms, e envia o COMANDO em\n"
    "maiúsculas, um byte por caractere (na página de código ANSI do Windows; o que\n"
    "falta nela vira \"?\"):\n"
    "  1 3 5 7     ligam os relés 1 a 4;   2 4 6 8   desligam os relés 1 a 4\n"
    "  E..., R...  consultas: a resposta fica em log.txt, ao lado de Comutel.exe\n"
    "              (\"-\" enquanto não há resposta), e sai também na saída padrão,\n"
    "              se houver uma\n"
    "Sem COMANDO, mostra a janela com o estado da conexão e mantém a porta aberta.\n"
    "Execuções no modo comando esperam a vez umas das outras (até 30 s).\n"
    "COMUTEL_DEVICE=COM5 faz procurar só na COM5: se ela não abrir, nada é enviado.\n"
    "  --ports     lista as portas COM que o Windows conhece, sem abrir nenhuma\n"
    "Código de saída (%ERRORLEVEL%; num prompt, use start \"\" /wait Comutel.exe ...):\n"
    "  0 enviado (e resposta gravada) ou janela fechada; 1 nenhuma porta abriu;\n"
    "  2 a placa não respondeu em 500 ms;\n"
    "  3 erro: log.txt não gravável, comando não enviado ou execução fechada antes\n"
    "  de terminar.\n"
    "Guarde Comutel.exe numa pasta sua, onde você possa gravar (não em Arquivos de\n"
    "Programas).\n";

int writeInfo(const std::string &text)
{
    Win32StandardStreams::borrowParentConsole();
    return Win32StandardStreams().writeOutText(text) ? ExitOk : ExitFatal;
}

int writeError(const std::string &line)
{
    Win32StandardStreams::borrowParentConsole();
    Win32StandardStreams().writeErr("comutel: " + line + "\n");
    return ExitFatal;
}

int listPorts(const SearchPlan &plan)
{
    const std::vector<std::string> lines = portListing(plan, ports::known());
    if (lines.empty()) {
        Win32StandardStreams::borrowParentConsole();
        Win32StandardStreams().writeErr("comutel: o Windows não conhece nenhuma porta COM\n");
        return ExitOk;
    }
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return writeInfo(text);
}

} // namespace

std::optional<int> infoCommand(const std::string &parameter)
{
    // "/?" as every Windows command reads it; never sent to the board.
    if (parameter == "--help" || parameter == "/?")
        return writeInfo(kUsage);
    if (parameter == "--version")
        return writeInfo("Comutel.exe " COMUTEL_VERSION "\n");
    if (parameter != "--ports")
        return std::nullopt;
    std::string problem;
    const std::optional<SearchPlan> plan = ports::searchPlan(&problem);
    return plan ? listPorts(*plan) : writeError(problem);
}
