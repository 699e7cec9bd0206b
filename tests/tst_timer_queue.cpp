// The timers every loop shares, on the fake loop's clock: the order of ticks, what a tick may do
// to any timer, its own included, and what comes of a tick that is late.
#include "tests/fake_loop.h"

#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

using namespace std::chrono_literals;

TEST_CASE("timers: by due time, ties in the order made; a tick may stop, restart or destroy any "
          "timer, its own too, dropping what was due; a late tick comes once, then the pace again")
{
    // Timers named by letters; each tick notes its name and the time, then does what also says.
    struct Bench
    {
        FakeLoop loop;
        std::map<char, std::unique_ptr<Timer>> timers;
        std::string ticks;
        Timer &operator[](char name) { return *timers[name]; }
    };
    struct Row
    {
        const char *name, *made;
        std::vector<std::pair<char, std::chrono::milliseconds>> started;
        std::map<char, void (*)(Bench &)> also;
        std::chrono::milliseconds span;
        const char *ticks;
    };
    // clang-format off
    const Row rows[] = {
        {"by due time, ties in the order made, not started", "bac",
         {{'c', 20ms}, {'a', 10ms}, {'b', 20ms}}, {}, 40ms, "a10 b20 a20 c20 a30 b40 a40 c40 "},
        {"a tick stops, restarts or destroys timers due in its round, its own too", "abcd",
         {{'a', 10ms}, {'b', 10ms}, {'c', 10ms}, {'d', 10ms}},
         {{'a', [](Bench &b) {
               b.timers.erase('a'), b['b'].stop(), b['c'].start(10ms), b.timers.erase('d'); }},
          {'c', [](Bench &b) { b['c'].start(25ms); }}},
         50ms, "a10 c20 c45 "},
        {"a tick that takes 250 ms: each late tick comes once, those missed never", "gh",
         {{'g', 100ms}, {'h', 100ms}},
         {{'g', [](Bench &b) { b.ticks == "g100 " ? b.loop.advance(250ms) : void(); }}},
         500ms, "g100 h350 g350 g400 h400 g500 h500 "},
        {"nothing after the end, not even what was due in the same round", "ab",
         {{'a', 10ms}, {'b', 10ms}}, {{'a', [](Bench &b) { b.loop.end(3); }}}, 100ms, "a10 "},
    };
    // clang-format on
    for (const Row &row : rows) {
        CAPTURE(std::string(row.name));
        Bench b;
        for (const char name : std::string(row.made))
            b.timers[name] = b.loop.createTimer([&b, &row, name] {
                b.ticks += name + std::to_string(b.loop.now().time_since_epoch() / 1ms) + ' ';
                if (row.also.count(name))
                    row.also.at(name)(b);
            });
        for (const auto &[name, interval] : row.started)
            b[name].start(interval);
        b.loop.advance(row.span);
        CHECK(b.ticks == std::string(row.ticks));
    }
}
