// test-links: parlanto_platform
#include "platform/start_cores.h"

#include <QtTest>

#include <atomic>
#include <sched.h>
#include <thread>
#include <unistd.h>

namespace {

cpu_set_t coresOf(pid_t tid)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(tid, sizeof set, &set);
    return set;
}

} // namespace

class TestStartCores : public QObject
{
    Q_OBJECT

private slots:
    // The main thread held on one core while the display connection is made, a helper kept off
    // it, and a thread started meanwhile: once released, each has all the cores the process had.
    void heldThreadsAreAllReleased()
    {
        const cpu_set_t start = coresOf(0);
        if (CPU_COUNT(&start) < 2)
            QSKIP("one core: nothing to hold apart");
        const int spare = StartCores::spareCore();
        QVERIFY(spare == -1 || CPU_ISSET(spare, &start));
        const int core = sched_getcpu();
        QVERIFY(CPU_ISSET(core, &start));

        std::atomic<pid_t> helperTid = 0;
        std::atomic<bool> helperKept = false, done = false;
        std::thread helper([&] {
            StartCores::keepOff(core);
            helperTid = gettid();
            helperKept = true;
            while (!done)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QTRY_VERIFY(helperKept);
        StartCores::keepOn(core);
        std::atomic<pid_t> laterTid = 0;
        std::thread later([&] {
            laterTid = gettid();
            while (!done)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QTRY_VERIFY(laterTid != 0);

        cpu_set_t held = coresOf(0);
        QCOMPARE(CPU_COUNT(&held), 1);
        QVERIFY(CPU_ISSET(core, &held));
        cpu_set_t helperCores = coresOf(helperTid);
        QVERIFY(!CPU_ISSET(core, &helperCores));
        QCOMPARE(CPU_COUNT(&helperCores), CPU_COUNT(&start) - 1);
        // A thread started while the main thread is held inherits its single core.
        cpu_set_t laterCores = coresOf(laterTid);
        QCOMPARE(CPU_COUNT(&laterCores), 1);

        StartCores::release(core);
        for (const pid_t tid : {pid_t(0), pid_t(helperTid), pid_t(laterTid)}) {
            const cpu_set_t now = coresOf(tid);
            QVERIFY(CPU_EQUAL(&now, &start));
        }
        done = true;
        helper.join();
        later.join();

        // Without a core to spare nothing changes.
        StartCores::keepOn(-1);
        StartCores::keepOff(-1);
        StartCores::release(-1);
        const cpu_set_t after = coresOf(0);
        QVERIFY(CPU_EQUAL(&after, &start));
    }
};

QTEST_GUILESS_MAIN(TestStartCores)
#include "test_start_cores.moc"
