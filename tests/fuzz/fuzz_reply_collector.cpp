// The board's bytes through the reply collector on a fake clock, each input byte some bytes from
// the board, a wait or a stop: an answer is what came since the last one, cut at kMaxBytes, and
// comes when the line has been quiet kQuiet, at kLongest or when full: never later, never sooner.
#include "core/reply_collector.h"
#include "tests/fake_loop.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using Collector = ReplyCollector;
    FakeLoop loop;
    std::string sent; // since the last answer
    EventLoop::Clock::time_point first, last, due;
    Collector collector(loop, [&](const std::string &reply) {
        PROPERTY(
            !reply.empty() && reply == sent.substr(0, Collector::kMaxBytes) &&
            (loop.now() == due || (reply.size() == Collector::kMaxBytes && loop.now() == last)));
        sent.clear();
    });
    for (std::size_t i = 0; i < size; ++i) {
        const std::string bytes(data[i] + 1u, static_cast<char>(i));
        if (data[i] < 0x80) {
            first = sent.empty() ? loop.now() : first;
            last = loop.now();
            due = std::min(last + Collector::kQuiet, first + Collector::kLongest);
            sent += bytes;
            collector.add(bytes);
        } else if (data[i] == 0xff) {
            collector.stop();
            sent.clear();
        } else {
            loop.advance(std::chrono::milliseconds((data[i] - 0x80) * 4));
        }
        PROPERTY(collector.isGathering() == !sent.empty() && (sent.empty() || loop.now() < due));
    }
    return 0;
}
