#include <QtTest>
#include <cmath>
#include <thread>

#include "scheduler.h"

using vorn::FrameClient;
using vorn::Scheduler;

namespace {

constexpr int64_t kSecond = kVnTicksPerSecond;
constexpr int64_t kMs = kVnTicksPerSecond / 1000;

// Counts its frames; may remove clients of the scheduler from inside one.
struct Client : FrameClient {
    bool wants = true;
    int frames = 0;
    Scheduler* scheduler = nullptr;
    std::vector<FrameClient*> removeOnFrame;
    bool WantsFrames() override { return wants; }
    void Frame(const VnClock&) override {
        ++frames;
        for (FrameClient* other : removeOnFrame) scheduler->RemoveFrameClient(other);
    }
};

enum Waiting {
    Nothing,
    TimerIn4Point01Ms,
    OverdueTimer,
    PostedWork,
    ClientWantsFrames,
    ClientIdle,
    TimerBeforeFrame
};

}  // namespace

class TstScheduler : public QObject {
    Q_OBJECT

private slots:
    void clockFollowsSpeed_data() {
        QTest::addColumn<double>("speed");
        QTest::addColumn<int64_t>("step");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int64_t>("expected");
        QTest::newRow("normal") << 1.0 << kSecond << 1 << kSecond;
        QTest::newRow("double") << 2.0 << kSecond << 1 << 2 * kSecond;
        QTest::newRow("stopped") << 0.0 << kSecond << 1 << int64_t(0);
        QTest::newRow("backwards") << -1.0 << kSecond << 1 << -kSecond;
        QTest::newRow("third, one tick a pump") << 1.0 / 3 << int64_t(1) << 3000 << int64_t(1000);
        QTest::newRow("half backwards, one tick a pump")
            << -0.5 << int64_t(1) << 2000 << int64_t(-1000);
    }
    void clockFollowsSpeed() {
        // Catches a clock that ignores the speed, or drops fractions of a tick and drifts.
        QFETCH(double, speed);
        QFETCH(int64_t, step);
        QFETCH(int, steps);
        QFETCH(int64_t, expected);
        Scheduler scheduler;
        VnClock* clock = scheduler.Clock();
        clock->speed = speed;
        int64_t now = Scheduler::Now();
        scheduler.PumpAt(now);
        const int64_t startTime = clock->currentTime;
        const int64_t startReal = clock->realTime;
        for (int i = 0; i < steps; ++i) scheduler.PumpAt(now += step);
        QVERIFY2(std::llabs(clock->currentTime - startTime - expected) <= 1,
                 qPrintable(QString::number(clock->currentTime - startTime)));
        QCOMPARE(clock->realTime - startReal, step * steps);
        if (steps == 1) QCOMPARE(clock->frameTime, expected);
    }

    void framesPerSecond_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("60 per second") << 60 << true;
        QTest::newRow("30 per second") << 30 << true;
        QTest::newRow("7 per second") << 7 << true;
        QTest::newRow("nothing drawn") << 60 << false;
    }
    void framesPerSecond() {
        // Catches frames skipped or doubled, a rate measured over the wrong window, and frames
        // nobody draws counted as drawn (an idle tool reported a rate of its status pumps).
        QFETCH(int, rate);
        QFETCH(bool, drawn);
        Scheduler scheduler;
        Client client;
        client.wants = drawn;
        scheduler.AddFrameClient(&client);
        scheduler.SetFrameInterval(1.0 / rate);
        const int64_t interval = std::llround(scheduler.FrameInterval() * kSecond);
        int64_t now = Scheduler::Now();
        for (int i = 0; i < 2 * rate + 1; ++i) scheduler.PumpAt(now += interval);
        const VnClock* clock = scheduler.Clock();
        QCOMPARE(client.frames, drawn ? 2 * rate + 1 : 0);
        QCOMPARE(clock->frameCount, int64_t(2 * rate + 1));
        QVERIFY(std::fabs(clock->lastFrameSeconds - 1.0 / rate) < 1e-6);
        if (!drawn) rate = 0;
        QVERIFY2(std::fabs(clock->framesPerSecond - rate) <= 0.01 * rate,
                 qPrintable(QString::number(clock->framesPerSecond)));
    }

    void nextWorkIn_data() {
        QTest::addColumn<int>("waiting");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("nothing") << int(Nothing) << -1 << -1;
        QTest::newRow("timer in 4.01 ms rounds up") << int(TimerIn4Point01Ms) << 5 << 5;
        QTest::newRow("overdue timer") << int(OverdueTimer) << 0 << 0;
        QTest::newRow("posted work") << int(PostedWork) << 0 << 0;
        QTest::newRow("client wants frames") << int(ClientWantsFrames) << 1 << 100;
        QTest::newRow("client idle") << int(ClientIdle) << -1 << -1;
        QTest::newRow("timer before the frame") << int(TimerBeforeFrame) << 5 << 5;
    }
    void nextWorkIn() {
        // Catches an app woken too late for work, or spinning when nothing waits.
        QFETCH(int, waiting);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        Scheduler scheduler;
        Client client;
        client.wants = waiting != ClientIdle;
        scheduler.SetFrameInterval(waiting == TimerBeforeFrame ? 1.0 : 0.1);
        const int64_t now = Scheduler::Now();
        scheduler.PumpAt(now);
        if (waiting == ClientWantsFrames || waiting == ClientIdle || waiting == TimerBeforeFrame)
            scheduler.AddFrameClient(&client);
        if (waiting == TimerIn4Point01Ms) scheduler.AddTimer(now + 4 * kMs + 100, [] {});
        if (waiting == TimerBeforeFrame) scheduler.AddTimer(now + 5 * kMs, [] {});
        if (waiting == OverdueTimer) scheduler.AddTimer(now - 1, [] {});
        if (waiting == PostedWork) scheduler.Post([] {});
        const int wait = scheduler.NextWorkInAt(now);
        QVERIFY2(wait >= lowest && wait <= highest, qPrintable(QString::number(wait)));
    }

    void timersRunInDueOrder() {
        // Catches timers run early, out of order, after cancelling (also by a timer that ran
        // before them in the same pump), or looping when re-added.
        Scheduler scheduler;
        QStringList ran;
        const int64_t now = Scheduler::Now();
        uint64_t dueButCancelled = scheduler.AddTimer(now + 18, [&] { ran << "cancelled"; });
        scheduler.AddTimer(now + 12, [&] { scheduler.CancelTimer(dueButCancelled); });
        scheduler.AddTimer(now + 30, [&] { ran << "30"; });
        scheduler.AddTimer(now + 10, [&] {
            ran << "10a";
            scheduler.AddTimer(now, [&] { ran << "added"; });
            scheduler.Post([&] { ran << "posted"; });
        });
        scheduler.AddTimer(now + 20, [&] { ran << "20"; });
        scheduler.AddTimer(now + 10, [&] { ran << "10b"; });
        scheduler.CancelTimer(scheduler.AddTimer(now + 15, [&] { ran << "cancelled"; }));
        scheduler.PumpAt(now + 9);
        QCOMPARE(ran, QStringList());
        scheduler.PumpAt(now + 25);
        QCOMPARE(ran, (QStringList{"10a", "10b", "20", "posted"}));
        QCOMPARE(scheduler.NextWorkInAt(now + 25), 0);
        scheduler.PumpAt(now + 40);
        QCOMPARE(ran, (QStringList{"10a", "10b", "20", "posted", "added", "30"}));
        QCOMPARE(scheduler.NextWorkInAt(now + 40), -1);
    }

    void postedWorkRunsOncePerPump() {
        // Catches work that re-posts itself looping forever, lost posts, or no wake-up call.
        Scheduler scheduler;
        std::atomic<int> wakeUps{0};
        scheduler.SetPostToApp([](void* count) { ++*static_cast<std::atomic<int>*>(count); },
                               &wakeUps);
        int runs = 0;
        std::function<void()> again = [&] {
            ++runs;
            scheduler.Post(again);
        };
        scheduler.Post(again);
        std::thread other([&] {
            for (int i = 0; i < 1000; ++i) scheduler.Post([&] { ++runs; });
        });
        other.join();
        scheduler.Pump();
        QCOMPARE(runs, 1001);
        scheduler.Pump();
        QCOMPARE(runs, 1002);
        QCOMPARE(wakeUps.load(), 1003);
    }

    void clientsRemovedDuringFrame() {
        // Catches a removed client still drawn, or a crash when the client list changes mid-frame.
        Scheduler scheduler;
        Client first, second, third, idle;
        idle.wants = false;
        first.scheduler = &scheduler;
        first.removeOnFrame = {&first, &second};
        for (Client* c : {&first, &second, &third, &idle}) scheduler.AddFrameClient(c);
        scheduler.PumpAt(Scheduler::Now() + kSecond);
        QCOMPARE(first.frames, 1);
        QCOMPARE(second.frames, 0);
        QCOMPARE(third.frames, 1);
        QCOMPARE(idle.frames, 0);
    }
};

QTEST_GUILESS_MAIN(TstScheduler)
#include "tst_scheduler.moc"
