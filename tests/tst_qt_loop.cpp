// Qt's loop as the controller's: what the controller counts on and Qt does not give by itself.
// A stopped timer's tick that was already due, and anything due after end(), never arrive;
// end() before exec() is kept; a watch removed from inside its own callback stops at once.
#include "qt_loop.h"

#include <QCoreApplication>
#include <QTest>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kNoEnd = 99; // the safety net's status: the loop never ended as it should

// Ends the loop after a few rounds of Qt's loop, the rounds in which a fault would show.
class LaterEnd
{
public:
    LaterEnd(QtLoop &loop, int status)
        : m_timer(loop.createTimer([&loop, status, this] {
              if (++m_rounds == 3)
                  loop.end(status);
          }))
    {
    }
    void start() { m_timer->start(std::chrono::milliseconds(0)); }

private:
    std::unique_ptr<Timer> m_timer;
    int m_rounds = 0;
};

} // namespace

class TestQtLoop : public QObject
{
    Q_OBJECT

    std::unique_ptr<QtLoop> m_loop;
    std::unique_ptr<Timer> m_safetyNet;

private slots:
    void init()
    {
        m_loop = std::make_unique<QtLoop>();
        // Generous: only a loop that never ends waits this long.
        m_safetyNet = m_loop->createTimer([this] { m_loop->end(kNoEnd); });
        m_safetyNet->start(std::chrono::seconds(20));
    }
    void cleanup()
    {
        m_safetyNet.reset();
        m_loop.reset();
    }

    void dueTicksOfAStoppedTimerOrAfterEndNeverCome_data()
    {
        QTest::addColumn<bool>("endInFirstTick");
        QTest::newRow("other timer stopped") << false;
        QTest::newRow("loop ended") << true;
    }
    void dueTicksOfAStoppedTimerOrAfterEndNeverCome()
    {
        QFETCH(bool, endInFirstTick);
        LaterEnd later(*m_loop, 0);
        int ticks = 0;
        std::unique_ptr<Timer> timers[2];
        for (int i = 0; i < 2; ++i)
            timers[i] = m_loop->createTimer([&] {
                ++ticks;
                if (endInFirstTick) {
                    m_loop->end(0);
                    return;
                }
                for (auto &timer : timers)
                    timer->stop();
                later.start();
            });
        for (auto &timer : timers)
            timer->start(std::chrono::milliseconds(1));
        // Both are due before the loop first looks at them, so Qt has both in one round.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCOMPARE(m_loop->exec(), 0);
        QCOMPARE(ticks, 1);
    }

    void endBeforeExecIsKept()
    {
        int ticks = 0;
        auto timer = m_loop->createTimer([&] { ++ticks; });
        timer->start(std::chrono::milliseconds(0));
        m_loop->end(3); // as a controller that ends inside onLoad, before the loop runs
        QCOMPARE(m_loop->exec(), 3);
        QCOMPARE(ticks, 0);
    }

    void unwatchFromInsideTheCallback_data()
    {
        QTest::addColumn<bool>("hangUp");
        QTest::newRow("bytes waiting") << false;
        QTest::newRow("writer gone") << true;
    }
    void unwatchFromInsideTheCallback()
    {
        QFETCH(bool, hangUp);
        int fds[2];
        QVERIFY(pipe2(fds, O_CLOEXEC) == 0);
        if (hangUp)
            close(fds[1]);
        else
            QCOMPARE(write(fds[1], "x", 1), ssize_t(1));
        // The fd stays readable throughout: a watch still alive would be called again.
        LaterEnd later(*m_loop, 0);
        int firstCalls = 0, secondCalls = 0;
        m_loop->watch(fds[0], [&] {
            ++firstCalls;
            m_loop->unwatch(fds[0]);
            m_loop->watch(fds[0], [&] { // the same fd again, as a port reopened at once
                ++secondCalls;
                m_loop->unwatch(fds[0]);
                later.start();
            });
        });
        QCOMPARE(m_loop->exec(), 0);
        QCOMPARE(firstCalls, 1);
        QCOMPARE(secondCalls, 1);
        close(fds[0]);
        if (!hangUp)
            close(fds[1]);
    }
};

QTEST_GUILESS_MAIN(TestQtLoop)
#include "tst_qt_loop.moc"
