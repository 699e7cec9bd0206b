// Qt's loop as the controller's: what the controller counts on and Qt does not give by itself.
// end() before exec() is kept; a watch removed from inside its own callback stops at once; the
// timers (the queue every loop shares) are woken by Qt's loop, also when started from a watch.
#include "ui/qt_loop.h"

#include <QCoreApplication>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A loop that ends with 99 after a generous 20 s, so that a loop that never ends fails the test.
struct Loop : QtLoop
{
    const std::unique_ptr<Timer> safetyNet = createTimer([this] { end(99); });
    Loop() { safetyNet->start(20s); }
};

// A timer that ends the loop after a few rounds of Qt's loop, the rounds in which a fault would
// show.
std::unique_ptr<Timer> laterEnd(QtLoop &loop)
{
    return loop.createTimer([&loop, rounds = 0]() mutable {
        if (++rounds == 3)
            loop.end(0);
    });
}

} // namespace

class TestQtLoop : public QObject
{
    Q_OBJECT

private slots:
    void endBeforeExecIsKept()
    {
        Loop loop;
        int ticks = 0;
        auto timer = loop.createTimer([&] { ++ticks; });
        timer->start(0ms);
        loop.end(3); // as a controller that ends inside onLoad, before the loop runs
        QCOMPARE(loop.exec(), 3);
        QCOMPARE(ticks, 0);
    }

    void unwatchFromInsideTheCallback()
    {
        for (const bool hangUp : {false, true}) {
            int fds[2];
            QVERIFY(pipe2(fds, O_CLOEXEC) == 0);
            if (hangUp)
                close(fds[1]);
            else
                QCOMPARE(write(fds[1], "x", 1), ssize_t(1));
            // The fd stays readable throughout: a watch still alive would be called again.
            Loop loop;
            const auto later = laterEnd(loop);
            int firstCalls = 0, secondCalls = 0;
            loop.watch(fds[0], [&] {
                ++firstCalls;
                loop.unwatch(fds[0]);
                loop.watch(fds[0], [&] { // the same fd again, as a port reopened at once
                    ++secondCalls;
                    loop.unwatch(fds[0]);
                    later->start(0ms);
                });
            });
            QCOMPARE(loop.exec(), 0);
            QCOMPARE(firstCalls, 1);
            QCOMPARE(secondCalls, 1);
            close(fds[0]);
            if (!hangUp)
                close(fds[1]);
        }
    }
};

QTEST_GUILESS_MAIN(TestQtLoop)
#include "tst_qt_loop.moc"
