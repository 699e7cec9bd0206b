// Comutel.exe: drives the Pelmora 2/4 relay board on a COM port at 300 baud. A GUI-subsystem
// program, so that a batch file or another program calling it never sees a console flash up;
// its window is made hidden and shown only when there is no command.
#include "core/main_window.h"
#include "win32/command_line.h"
#include "win32/info_command.h"
#include "win32/mutex_turn.h"
#include "win32/native_window.h"
#include "win32/port_listing.h"
#include "win32/reply_log_file.h"
#include "win32/win32_code_page.h"
#include "win32/win32_comm_port.h"
#include "win32/win32_loop.h"
#include "win32/win32_standard_streams.h"

#include <windows.h>

namespace {

const char kListingHint[] = "\"Comutel.exe --ports\" lista as portas COM que o Windows conhece";

} // namespace

int main()
{
    const std::string parameter = commandline::parameter(GetCommandLineW());
    if (const std::optional<int> status = infoCommand(parameter))
        return *status;
    std::string problem; // why the run cannot start
    const std::optional<SearchPlan> plan = ports::searchPlan(&problem);
    Win32StandardStreams streams;
    Win32Loop loop;
    Win32CommPort port(loop);
    NativeWindow window(GetModuleHandleW(nullptr));
    ReplyLogFile log = ReplyLogFile::besideExecutable();
    const Win32CodePage codePage;
    MutexTurn turn;
    MainWindow program({port, window, loop, log, streams, codePage, &turn}, parameter,
                       plan.value_or(SearchPlan{}), kListingHint);
    plan ? program.onLoad() : program.onLoadFailed(problem);
    return loop.run();
}
