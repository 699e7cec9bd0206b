// The controller on a fake loop and clock: what each scan tick tries and shows and when, the
// search plan, the send and the dispatch on the first letter, the answer and its time-out, turns,
// a start that fails, a close request in every state, and the one order in which every run ends.
#include "core/main_window.h"
#include "tests/fake_comm_port.h"
#include "tests/fake_loop.h"

#include <doctest/doctest.h>

#include <deque>

using namespace std::chrono_literals;

namespace {

// The log, the turn, the standard streams and the window, each noting in the journal what
// matters to the order in which a run ends.
struct Fakes : ReplyLog, Turn, StandardStreams, HeadlessWindow
{
    explicit Fakes(Journal &j) : journal(j) {}
    bool write(const std::string &text) override
    {
        journal += "log " + text + "; ";
        if (writable)
            contents = text + "\r\n";
        return writable;
    }
    Result tryTake() override
    {
        ++asked;
        const Result result = answers.front();
        if (answers.size() > 1)
            answers.pop_front();
        return result;
    }
    void release() override { journal += "release; "; }
    std::string errorString() const override { return "motivo"; }
    std::string holder() const override { return "outro comutel (PID 7)"; }
    void writeOut(const std::string &bytes) override { journal += "out " + bytes + "; "; }
    void writeErr(const std::string &bytes) override
    {
        journal += "err; ";
        err += bytes;
    }
    void showMessageBox(const std::string &title, const std::string &text) override
    {
        journal += "box " + title + "; ";
        HeadlessWindow::showMessageBox(title, text);
    }

    Journal &journal;
    bool writable = true;
    std::string contents = "stale\r\n", err;
    std::deque<Result> answers{Result::Taken};
    int asked = 0;
};

// One run of the controller with fakes all round. Every platform hands over its turn, in
// either mode: the controller alone decides who takes one.
struct Run
{
    Journal journal;
    FakeLoop loop;
    FakeCommPort port{journal};
    Fakes fakes{journal};
    Fakes &log = fakes, &turn = fakes, &streams = fakes, &window = fakes;
    Latin1CodePage latin1;
    std::unique_ptr<MainWindow> program;

    // startProblem: what keeps the platform from starting the run, if anything.
    void start(const std::string &parameter, SearchPlan plan = {}, const char *startProblem = "")
    {
        program = std::make_unique<MainWindow>(
            MainWindow::Platform{port, window, loop, log, streams, latin1, &turn}, parameter,
            std::move(plan), "veja a lista");
        *startProblem ? program->onLoadFailed(startProblem) : program->onLoad();
    }
};

} // namespace

TEST_CASE("loading (the log first, the window hidden in command mode), then the search: one port "
          "each 100 ms from COM2, each named as it is tried, then it gives up; or the device the "
          "user named, alone; a start that fails still resets the log, unless that is what failed")
{
    for (const bool commandMode : {true, false}) {
        for (const std::string start : {"", "COM7", "log", "sem tela"}) {
            INFO("commandMode: " << commandMode << ", start: " << start);
            const bool failure = start == "log" || start == "sem tela";
            Run run;
            run.log.writable = start != "log";
            run.window.visible = commandMode && !failure; // command mode must hide it
            run.port.settingsReadBack = "1200,e,7,1";
            run.port.openProblemText = start == "COM7" ? "" : "COM9 (/dev/x): sem permissão";
            const std::optional<int> only = start == "COM7" ? std::optional<int>(7) : std::nullopt;
            run.start(commandMode ? "1" : "", {only, {"mapa: com5 ignorado"}},
                      start == "sem tela" ? "sem tela" : "");
            CHECK(run.window.visible == (!commandMode && !failure)); // never shown after a failure
            CHECK(run.port.tried.empty()); // the first attempt waits for the first tick
            CHECK(run.log.contents == (start == "log" ? "stale\r\n" : "-\r\n"));
            if (failure) {
                const std::string why = start == "log" ? "motivo" : start;
                CHECK(run.loop.ended == ExitFatal);
                CHECK_FALSE(run.port.configured);
                CHECK(run.streams.err == "comutel: " + why + "\n");
                // A window's failure is shown too; a script never waits on a box.
                CHECK(run.window.boxTitle + run.window.boxText ==
                      (commandMode ? "" : "Comutel" + why));
                continue;
            }
            CHECK(run.window.label3 == "Baudrate: 1200 bp/s");
            run.loop.advance(99ms);
            CHECK(run.port.tried.empty());
            if (only) { // the board or nothing: no other port may get its command
                run.loop.advance(1ms);
                CHECK(run.port.tried == std::vector<int>{7});
                CHECK(run.window.label1 == "Desconectado.");
                CHECK(run.loop.ended == (commandMode ? std::optional(ExitNoPort) : std::nullopt));
                CHECK((run.streams.err.find(
                           "comutel: a porta escolhida, COM7, não abriu: fake error\n") !=
                       std::string::npos) == commandMode);
                continue;
            }
            std::vector<int> expected;
            for (int n = 2; n <= 30; ++n) {
                run.loop.advance(n == 2 ? 1ms : 100ms);
                expected.push_back(n);
                CHECK(run.port.tried == expected);
                if (n < 30)
                    CHECK(run.window.label1 == "Buscando em COM " + std::to_string(n));
            }
            CHECK(run.window.label1 == "Desconectado.");
            CHECK(run.window.label1Colour == Window::Colour::Red);
            run.loop.advance(10s); // the search never starts again
            CHECK(run.port.tried.size() == 29);
            if (!commandMode) {
                CHECK_FALSE(run.loop.ended); // only the close ends a window
                CHECK(run.window.boxText.empty());
                continue;
            }
            CHECK(run.loop.ended == ExitNoPort);
            CHECK(run.window.boxTitle == "Ravelto");
            const std::string advice = "O Windows não pôde detectar a placa controladora.";
            CHECK(run.window.boxText.rfind(advice + "\r\n\r\nPor favor", 0) == 0);
            // The map's problems, the advice, each device that would not open, where to look.
            CHECK(run.streams.err.rfind("comutel: mapa: com5 ignorado\n" + advice + "\n", 0) == 0);
            CHECK(run.streams.err.find("comutel: COM9 (/dev/x): sem permissão\ncomutel: veja a "
                                       "lista\n") != std::string::npos);
        }
    }
}

TEST_CASE("the command sent and dispatched on its first letter, and the answer gathered")
{
    // One byte a character: upper-cased where that stays in ISO 8859-1, else as it is; '?' for
    // characters outside it. sent "": refused by the port, so never reported as sent.
    // clang-format off
    const struct { const char *parameter; std::string sent; bool awaitsAnswer; int status; }
    rows[] = {
        {"1", "1", false, ExitOk},       {"r5", "R5", true, ExitOk},
        {"Liga", "LIGA", false, ExitOk}, {"eçã€😀ßÿµ", "E\xc7\xc3??\xdf\xff\xb5", true, ExitOk},
        {"\xe9", "?", false, ExitOk}, // not UTF-8: the platform decodes before this
        {"e", "", false, ExitFatal},
    }; // clang-format on
    for (const auto &row : rows) {
        CAPTURE(row.parameter);
        Run run;
        run.port.openable = {3};
        run.port.refuseOutput = row.sent.empty();
        run.start(row.parameter);
        run.loop.advance(200ms);
        CHECK(run.port.tried == std::vector<int>{2, 3});
        CHECK(run.port.written == row.sent);
        CHECK(run.window.label1 == "Conectado em COM 3");
        CHECK(run.window.label1Colour == Window::Colour::Green);
        if (row.awaitsAnswer) {
            CHECK_FALSE(run.loop.ended);
            run.port.receive(std::string("\0", 1)); // a NUL alone is no answer
            run.loop.advance(499ms);
            run.port.receive(std::string("1\0\xC1", 3)); // shown as ISO 8859-1 text
            run.loop.advance(99ms);
            CHECK_FALSE(run.loop.ended); // the line has not been quiet long enough
            run.loop.advance(1ms);
        }
        CHECK(run.loop.ended == row.status);
        CHECK_FALSE(run.port.portOpen());
        CHECK(run.log.contents == (row.awaitsAnswer ? "1\xC1\r\n" : "-\r\n"));
        CHECK(run.window.label8 == (row.awaitsAnswer ? "1Á" : "Comutel.exe 1"));
        CHECK(run.streams.err.empty() == (row.status == ExitOk));
    }

    // An answer is whole when the line is quiet, the buffer full, or 2 s have passed, and must
    // begin in 500 ms: a piece over and over at 300 baud, at full speed, or none ("-" stays).
    // clang-format off
    const struct { std::string piece; std::chrono::milliseconds every; std::size_t logged; }
    answers[] = {
        {"1", 33ms, 2000 / 33 + 1}, {std::string(100, '1'), 1ms, 1024}, {"", 1ms, 1},
    }; // clang-format on
    for (const auto &row : answers) {
        CAPTURE(row.logged);
        Run run;
        run.port.openable = {2};
        run.start("E");
        run.loop.advance(100ms);
        while (!run.loop.ended) {
            run.port.receive(row.piece);
            run.loop.advance(row.every);
        }
        CHECK(run.loop.ended == (row.piece.empty() ? ExitNoAnswer : ExitOk));
        CHECK(run.log.contents.size() == row.logged + 2);
        if (row.piece.empty()) {
            CHECK(run.loop.now() - EventLoop::Clock::time_point() == 600ms);
            CHECK(run.streams.err == "comutel: a placa não respondeu em 500 ms\n");
        }
    }
}

TEST_CASE("every run ends in one order: log, port, turn, then the streams and the box")
{
    // clang-format off
    const struct { const char *parameter; std::set<int> openable; const char *answer, *ending; }
    rows[] = {
        {"1", {2}, nullptr, "close; log -; release; "},
        {"E", {2}, "0101", "log 0101; close; release; out 0101\n; "},
        {"E", {2}, nullptr, "close; log -; release; err; "},
        {"1", {}, nullptr, "log -; release; err; box Ravelto; "},
        // A window, handed a turn as every run is, takes none: it may stay for hours.
        {"", {2}, "0101", "log 0101; close; out 0101\n; "},
    }; // clang-format on
    for (const auto &row : rows) {
        Run run;
        run.port.openable = row.openable;
        run.start(row.parameter);
        run.loop.advance(100ms);
        if (row.answer)
            run.port.receive(row.answer);
        run.loop.advance(5s);
        REQUIRE(run.loop.ended);
        // After the start's "-", nothing is written before the end; a run without an answer of
        // its own writes "-" again, so no caller reads another run's answer as its own.
        CHECK(run.journal == std::string("log -; ") + row.ending);
    }
}

TEST_CASE("turns: the search waits for its turn, 30 s at most")
{
    using R = Turn::Result;
    std::deque<R> busyThenTaken(20, R::Busy); // asked every 50 ms
    busyThenTaken.push_back(R::Taken);
    // clang-format off
    const struct { const char *name; std::deque<R> answers; std::chrono::milliseconds firstAttempt;
                   const char *said; } rows[] = {
        {"free", {R::Taken}, 100ms, ""},
        {"busy for a second", busyThenTaken, 1100ms, ""},
        {"held for ever", {R::Busy}, 30100ms,
         "comutel: outro comutel (PID 7) não liberou a vez em 30 s; seguindo sem esperar mais\n"},
        {"no turns here", {R::Unavailable}, 100ms, ""},
        {"failed", {R::Failed}, 100ms,
         "comutel: não foi possível esperar a vez: motivo; seguindo sem esperar\n"},
    }; // clang-format on
    for (const auto &row : rows) {
        CAPTURE(row.name);
        Run run;
        run.turn.answers = row.answers;
        run.port.openable = {2};
        run.start("1");
        CHECK(run.log.contents == "-\r\n"); // reset before the wait
        run.loop.advance(row.firstAttempt - 1ms);
        CHECK(run.port.tried.empty());
        run.loop.advance(1ms);
        CHECK(run.port.tried == std::vector<int>{2});
        CHECK(run.loop.ended == ExitOk);
        CHECK(run.streams.err == row.said);
        CHECK(run.turn.asked <= 602); // asked every 50 ms, not in a busy loop
    }
}

TEST_CASE("a close request ends the program in every state, and nothing runs after; a command "
          "so ended before its work was done says so, never with status 0")
{
    // why: "" for a close that is no failure.
    // clang-format off
    const struct { const char *state, *parameter; std::set<int> openable;
                   std::chrono::milliseconds after; const char *label1; std::string why; }
    rows[] = {
        {"waiting for its turn", "1", {2}, 200ms, "Buscando em COM", "antes de enviar o comando"},
        {"searching", "E", {}, 200ms, "Buscando em COM 3", "antes de enviar o comando"},
        {"connected, idle", "", {2}, 100ms, "Conectado em COM 2", ""},
        {"awaiting answer", "E", {2}, 300ms, "Conectado em COM 2", "antes da resposta da placa"},
        {"gave up", "", {}, 3s, "Desconectado.", ""},
    }; // clang-format on
    for (const auto &row : rows) {
        CAPTURE(row.state);
        Run run;
        run.port.openable = row.openable;
        run.turn.answers = {*row.parameter == '1' ? Turn::Result::Busy : Turn::Result::Taken};
        run.start(row.parameter);
        run.loop.advance(row.after);
        CHECK(run.window.label1 == row.label1);
        CHECK_FALSE(run.loop.ended);
        const std::size_t before = run.journal.size();
        run.window.close(); // as the window system asks
        CHECK(run.loop.ended == (row.why.empty() ? ExitOk : ExitFatal));
        const std::string said = "comutel: interrompido por um pedido de fechamento " + row.why;
        CHECK(run.streams.err == (row.why.empty() ? "" : said + "\n"));
        CHECK_FALSE(run.port.portOpen());
        const std::size_t attempts = run.port.tried.size();
        run.loop.advance(5s);
        CHECK(run.port.tried.size() == attempts);
        // A window's close does not touch the log; a command's end puts "-" back, once.
        const std::string ending = run.journal.substr(before);
        CHECK(ending.find("log") == ending.rfind("log -; "));
        CHECK((ending.find("log") == std::string::npos) == !*row.parameter);
    }
    Run signalled; // a platform that ends the run by its signal says nothing more
    signalled.start("E");
    signalled.program->onCloseRequest();
    CHECK((signalled.loop.ended == ExitOk && signalled.streams.err.empty()));
}
