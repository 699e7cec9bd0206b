// The controller on a fake loop and clock: what each scan tick tries and shows and when, the send
// and the dispatch on the first letter, the answer and its time-out, turns, a close request in
// every state, and the one order in which every run ends.
#include "fake_comm_port.h"
#include "fake_loop.h"
#include "main_window.h"

#include <doctest/doctest.h>

#include <deque>
#include <tuple>

using namespace std::chrono_literals;

template <> struct doctest::StringMaker<Journal>
{
    static String convert(const Journal &journal)
    {
        std::string text;
        for (const std::string &entry : journal)
            text += "[" + entry + "] ";
        return text.c_str();
    }
};

namespace {

// The log, the turn and the standard streams, each noting in the journal what it is asked.
struct Fakes : ReplyLog, Turn, StandardStreams
{
    explicit Fakes(Journal &j) : journal(j) {}
    bool write(const std::string &text) override
    {
        journal.push_back("log " + text);
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
    void release() override { journal.push_back("release"); }
    std::string errorString() const override { return "motivo"; }
    std::string holder() const override { return "outro comutel (PID 7)"; }
    void writeOut(const std::string &bytes) override { journal.push_back("out " + bytes); }
    void writeErr(const std::string &bytes) override
    {
        journal.push_back("err");
        err += bytes;
    }

    Journal &journal;
    bool writable = true;
    std::string contents = "stale\r\n", err;
    std::deque<Result> answers{Result::Taken};
    int asked = 0;
};

struct BoxWindow : HeadlessWindow
{
    explicit BoxWindow(Journal &j) : journal(j) {}
    void showMessageBox(const std::string &title, const std::string &text) override
    {
        journal.push_back("box " + title);
        HeadlessWindow::showMessageBox(title, text);
    }
    Journal &journal;
};

// One run of the controller with fakes all round.
struct Run
{
    Journal journal;
    FakeLoop loop;
    FakeCommPort port{journal};
    BoxWindow window{journal};
    Fakes fakes{journal};
    Fakes &log = fakes, &turn = fakes, &streams = fakes;
    Latin1CodePage latin1;
    std::unique_ptr<MainWindow> program;

    void start(const std::string &parameter)
    {
        program = std::make_unique<MainWindow>(
            MainWindow::Platform{port, window, loop, log, streams, latin1, &turn}, parameter);
        program->onLoad();
    }
};

} // namespace

TEST_CASE("loading (the log first, the window hidden in command mode), then the search: one port "
          "each 100 ms from COM2, each named as it is tried, then it gives up")
{
    for (const bool commandMode : {true, false}) {
        for (const bool writable : {true, false}) {
            CAPTURE(commandMode);
            CAPTURE(writable);
            Run run;
            run.log.writable = writable;
            run.window.visible = commandMode && writable; // command mode must hide it
            run.port.settingsReadBack = "1200,e,7,1";
            run.port.openProblemText = "COM9 (/dev/x): sem permissão";
            run.start(commandMode ? "1" : "");
            CHECK(run.window.visible == (!commandMode && writable)); // never shown after a failure
            CHECK(run.port.tried.empty()); // the first attempt waits for the first tick
            if (!writable) {
                CHECK(run.loop.ended == ExitFatal);
                CHECK_FALSE(run.port.configured);
                CHECK(run.streams.err == "comutel: motivo\n");
                // A window's failure is shown too; a script never waits on a box.
                CHECK(run.window.boxTitle + run.window.boxText ==
                      (commandMode ? "" : "Comutelmotivo"));
                continue;
            }
            CHECK(run.log.contents == "-\r\n");
            CHECK(run.window.label3 == "Baudrate: 1200 bp/s");
            run.loop.advance(99ms);
            CHECK(run.port.tried.empty());
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
            CHECK(run.streams.err.rfind(advice + "\n", 0) == 0);
            CHECK(run.streams.err.find("comutel: COM9 (/dev/x): sem permissão\n") !=
                  std::string::npos);
        }
    }
}

TEST_CASE("send and dispatch on the first letter")
{
    // parameter, what is sent, whether an answer is awaited, the exit status
    using Row = std::tuple<const char *, std::string, bool, int>;
    // One byte a character: upper-cased where that stays in ISO 8859-1, else as it is; '?' for
    // characters outside it.
    const Row rows[] = {
        {"1", "1", false, ExitOk},       {"r5", "R5", true, ExitOk},
        {"Liga", "LIGA", false, ExitOk}, {"eçã€😀ßÿµ", "E\xc7\xc3??\xdf\xff\xb5", true, ExitOk},
        {"\xe9", "?", false, ExitOk}, // not UTF-8: the platform decodes before this
        {"e", "", false, ExitFatal},  // refused by the port: never reported as sent
    };
    for (const auto &[parameter, sent, awaitsAnswer, status] : rows) {
        CAPTURE(parameter);
        Run run;
        run.port.openable = {3};
        run.port.refuseOutput = sent.empty();
        run.start(parameter);
        run.loop.advance(200ms);
        CHECK(run.port.tried == std::vector<int>{2, 3});
        CHECK(run.port.written == sent);
        CHECK(run.window.label1 == "Conectado em COM 3");
        CHECK(run.window.label1Colour == Window::Colour::Green);
        if (awaitsAnswer) {
            CHECK_FALSE(run.loop.ended);
            run.port.receive(std::string("\0", 1)); // a NUL alone is no answer
            run.loop.advance(499ms);
            run.port.receive(std::string("1\0\xC1", 3)); // shown as ISO 8859-1 text
            run.loop.advance(99ms);
            CHECK_FALSE(run.loop.ended); // the line has not been quiet long enough
            run.loop.advance(1ms);
        }
        CHECK(run.loop.ended == status);
        CHECK_FALSE(run.port.portOpen());
        CHECK(run.log.contents == (awaitsAnswer ? "1\xC1\r\n" : "-\r\n"));
        CHECK(run.window.label8 == (awaitsAnswer ? "1Á" : "Comutel.exe 1"));
        CHECK(run.streams.err.empty() == (status == ExitOk));
    }
}

TEST_CASE("an answer is whole when the line is quiet, the buffer full, or 2 s have passed")
{
    using Row = std::tuple<const char *, std::string, std::chrono::milliseconds, std::size_t>;
    const Row rows[] = {
        {"endless, 300 baud", "1", 33ms, 2000 / 33 + 1},
        {"endless, full speed", std::string(100, '1'), 1ms, 1024},
    };
    for (const auto &[name, piece, every, logged] : rows) {
        CAPTURE(name);
        Run run;
        run.port.openable = {2};
        run.start("E");
        run.loop.advance(100ms);
        while (!run.loop.ended) {
            run.port.receive(piece);
            run.loop.advance(every);
        }
        CHECK(run.loop.ended == ExitOk);
        CHECK(run.log.contents.size() == logged + 2);
    }
}

TEST_CASE("no answer in 500 ms")
{
    Run run;
    run.port.openable = {2};
    run.start("E");
    run.loop.advance(599ms);
    CHECK_FALSE(run.loop.ended);
    run.loop.advance(1ms);
    CHECK(run.loop.ended == ExitNoAnswer);
    CHECK(run.log.contents == "-\r\n");
    CHECK(run.streams.err == "comutel: a placa não respondeu em 500 ms\n");
}

TEST_CASE("every run ends in one order: log, port, turn, then the streams and the box")
{
    using Row = std::tuple<const char *, std::set<int>, const char *, Journal>; // answer null: none
    const Row rows[] = {
        {"1", {2}, nullptr, {"close", "log -", "release"}},
        {"E", {2}, "0101", {"log 0101", "close", "release", "out 0101\n"}},
        {"E", {2}, nullptr, {"close", "log -", "release", "err"}},
        {"1", {}, nullptr, {"log -", "release", "err", "box Ravelto"}},
    };
    for (const auto &[parameter, openable, answer, ending] : rows) {
        CAPTURE(std::string(parameter));
        CAPTURE(openable.size());
        Run run;
        run.port.openable = openable;
        run.start(parameter);
        run.loop.advance(100ms);
        if (answer)
            run.port.receive(answer);
        run.loop.advance(5s);
        REQUIRE(run.loop.ended);
        // After the start's "-", nothing is written before the end; a run without an answer of
        // its own writes "-" again, so no caller reads another run's answer as its own.
        CHECK(run.journal.front() == "log -");
        CHECK(Journal(run.journal.begin() + 1, run.journal.end()) == ending);
    }
}

TEST_CASE("turns: the search waits for its turn, 30 s at most")
{
    using R = Turn::Result;
    // name, the turn's answers, the first attempt, what standard error says
    using Row = std::tuple<const char *, std::deque<R>, std::chrono::milliseconds, const char *>;
    std::deque<R> busyThenTaken(20, R::Busy); // asked every 50 ms
    busyThenTaken.push_back(R::Taken);
    const Row rows[] = {
        {"free", {R::Taken}, 100ms, ""},
        {"busy for a second", busyThenTaken, 1100ms, ""},
        {"held for ever",
         {R::Busy},
         30100ms,
         "comutel: outro comutel (PID 7) não liberou a vez em 30 s; seguindo sem esperar mais\n"},
        {"no turns here", {R::Unavailable}, 100ms, ""},
        {"failed",
         {R::Failed},
         100ms,
         "comutel: não foi possível esperar a vez: motivo; seguindo sem esperar\n"},
    };
    for (const auto &[name, answers, firstAttempt, said] : rows) {
        CAPTURE(name);
        Run run;
        run.turn.answers = answers;
        run.port.openable = {2};
        run.start("1");
        CHECK(run.log.contents == "-\r\n"); // reset before the wait
        run.loop.advance(firstAttempt - 1ms);
        CHECK(run.port.tried.empty());
        run.loop.advance(1ms);
        CHECK(run.port.tried == std::vector<int>{2});
        CHECK(run.loop.ended == ExitOk);
        CHECK(run.streams.err == said);
        CHECK(run.turn.asked <= 602); // asked every 50 ms, not in a busy loop
    }
    Run window; // a window may stay for hours: it takes no turn
    window.start("");
    window.loop.advance(100ms);
    CHECK(window.turn.asked == 0);
}

TEST_CASE("a close request ends the program in every state, and nothing runs after; a command "
          "so ended before its work was done says so, never with status 0")
{
    using Row = std::tuple<const char *, const char *, std::set<int>, std::chrono::milliseconds,
                           const char *, const char *>;
    const Row rows[] = {
        {"waiting for its turn", "1", {2}, 200ms, "Buscando em COM", "antes de enviar o comando"},
        {"searching", "E", {}, 200ms, "Buscando em COM 3", "antes de enviar o comando"},
        {"connected, idle", "", {2}, 100ms, "Conectado em COM 2", nullptr},
        {"awaiting answer", "E", {2}, 300ms, "Conectado em COM 2", "antes da resposta da placa"},
        {"gave up", "", {}, 3s, "Desconectado.", nullptr},
    };
    for (const auto &[state, parameter, openable, after, label1, why] : rows) {
        CAPTURE(state);
        Run run;
        run.port.openable = openable;
        run.turn.answers = {*parameter == '1' ? Turn::Result::Busy : Turn::Result::Taken};
        run.start(parameter);
        run.loop.advance(after);
        CHECK(run.window.label1 == label1);
        CHECK_FALSE(run.loop.ended);
        const auto logWrites = [&run] {
            return std::count_if(run.journal.begin(), run.journal.end(),
                                 [](auto &e) { return e.rfind("log", 0) == 0; });
        };
        const auto logWritesBefore = logWrites();
        run.window.close(); // as the window system asks
        CHECK(run.loop.ended == (why ? ExitFatal : ExitOk));
        CHECK(run.streams.err ==
              (why ? std::string("comutel: interrompido por um pedido de fechamento ") + why + "\n"
                   : ""));
        CHECK_FALSE(run.port.portOpen());
        const std::size_t attempts = run.port.tried.size();
        run.loop.advance(5s);
        CHECK(run.port.tried.size() == attempts);
        CHECK(run.log.contents == "-\r\n");
        // A window's close does not touch the log; a command's end puts "-" back.
        CHECK(logWrites() == logWritesBefore + (*parameter ? 1 : 0));
    }
    Run signalled; // a platform that ends the run by its signal says nothing more
    signalled.start("E");
    signalled.program->onCloseRequest();
    CHECK((signalled.loop.ended == ExitOk && signalled.streams.err.empty()));
}
