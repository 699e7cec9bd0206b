// MainWindow is the whole program: it searches the ports of its plan for the relay board, sends
// the command given on the command line, catches the board's answer into the reply log, and ends
// through endProgram with an exit status a calling script can trust. Without a command it stays
// connected and shows the connection status in its window.
//
// Everything runs on one thread, called from the platform's event loop one handler at a time.
// The end of a run has one order on every platform: the log and the port first (an answer, or
// the "-" of a run ended from outside, goes in before the port is closed; a relay command and a
// time-out close the port before their "-" goes in again), then the turn released, and only
// then the standard streams and the message box, so a caller that does not read its streams
// holds up neither the board nor the next run.
#pragma once

#include "core/code_page.h"
#include "core/comm_port.h"
#include "core/event_loop.h"
#include "core/exit_status.h"
#include "core/reply_collector.h"
#include "core/reply_log.h"
#include "core/search_plan.h"
#include "core/standard_streams.h"
#include "core/turn.h"
#include "core/window.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class MainWindow
{
public:
    static constexpr std::chrono::milliseconds kScanInterval{100};
    static constexpr std::chrono::milliseconds kReplyTimeout{500};
    static constexpr std::chrono::milliseconds kTurnRetry{50};
    static constexpr std::chrono::milliseconds kLongestTurnWait{30000};
    static constexpr const char *kFailureTitle = "Comutel";

    // What the platform gives; none of it is owned. turn: the turns runs take on the board, or
    // null where there are none.
    struct Platform
    {
        CommPort &port;
        Window &window;
        EventLoop &loop;
        ReplyLog &log;
        StandardStreams &streams;
        const CodePage &codePage;
        Turn *turn = nullptr;
    };

    // An empty parameter means window mode. listingHint: the last line on standard error when no
    // port opened, where to look next.
    MainWindow(const Platform &platform, std::string commandParameter, SearchPlan plan = {},
               std::string listingHint = {});
    ~MainWindow();
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    // Runs once, at start; in window mode it shows the window as its last step.
    void onLoad();
    // Runs instead, when the platform cannot start the run (no window can be shown, the device
    // the user named is no port): the log is reset all the same, so that no earlier answer
    // survives a start, and the run ends with ExitFatal and that line.
    void onLoadFailed(const std::string &line);
    // The window is asked to close, or the process to end: the program ends in any state. A
    // platform that ends such a run by its own means (Linux: the same signal again) calls this.
    void onCloseRequest();
    // The window can no longer be shown (its display went away): the run ends with ExitFatal
    // and that line, and shows nothing more.
    void onWindowLost(const std::string &line);

    bool hasEnded() const { return ended; }

private:
    void onWindowClose();
    void waitForTurn();
    void onTurnRetry();
    void startSearch();
    void onScanTick();
    void giveUp();
    void sendCommand();
    void onComm(CommEvent event);
    void onReplyGathered(const std::string &reply);
    void onReplyTimeout();
    void endProgram(int exitStatus);

    bool commandMode() const { return !commandParameter.empty(); }
    void say(const std::string &line) { diagnostics.push_back("comutel: " + line); }
    void sayFailure(const std::string &line) { say(failure = line); } // the one that ends the run
    void setStatus(const std::string &text, Window::Colour colour);

    CommPort &MSComm1;
    Window &window;
    EventLoop &loop;
    ReplyLog &replyLog;
    StandardStreams &streams;
    const CodePage &codePage;
    const std::string commandParameter;
    Turn *const turn; // null in window mode: a window may stay open for hours
    const SearchPlan plan;
    const std::string listingHint;

    IntervalTimer TimerConectar;
    IntervalTimer TimerRecebe;
    IntervalTimer turnRetry;
    ReplyCollector replyCollector;
    std::int16_t portCounter = SearchPlan::kFirstPort;
    EventLoop::Clock::time_point turnAskedAt;

    std::vector<std::string> openProblems; // devices that exist but would not open
    std::vector<std::string> diagnostics;  // for standard error, once the run is over
    std::optional<std::string> answer;     // for standard output, once the run is over
    bool logWasReset = false;              // the start's "-" is in
    bool replyLogged = false;              // an answer went to the log (or failed to)
    std::string failure;                   // the line of a fatal end, for the window's box
    bool windowLost = false;
    bool ended = false;
};
