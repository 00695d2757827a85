#include "video/PreciseTimer.h"
#include "FakeTimerClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int64_t Ms = 1'000'000;

// Runs the timer until `ticks` ticks have run (the last tick stops it) or 20 s have passed.
void RunTicks(TPreciseTimer& timer, int ticks, const std::function<void(int tick)>& work = {}) {
    std::promise<void> done;
    int count = 0;
    timer.OnTimer = [&](TPreciseTimer& sender) {
        ++count;
        if (work)
            work(count);
        if (count == ticks) {
            sender.Stop();
            done.set_value();
        }
    };
    timer.Start();
    ASSERT_EQ(done.get_future().wait_for(20s), std::future_status::ready);
    timer.Stop();
}

TEST(NextTick, ComesFromTheStartAndIntervalNotFromTheLastTick) {
    struct Case {
        int64_t done_index, now;
        int64_t next_index, skipped;
        bool late;
    } cases[] = {
        {1, 10, 2, 0, false}, // tick 1 ended at its own deadline
        {1, 19, 2, 0, false}, // just before the next deadline
        {1, 20, 2, 0, true},  // at the next deadline: run at once, late
        {1, 35, 3, 1, true},  // past two deadlines: the latest runs, the other is skipped
        {7, 1009, 100, 92, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        const TTickSchedule next = NextTick(0, 10, c.done_index, c.now);
        EXPECT_EQ(next.NextIndex, c.next_index);
        EXPECT_EQ(next.Skipped, c.skipped);
        EXPECT_EQ(next.Late, c.late);
    }
}

TEST(PreciseTimer, DeadlinesStayOnTheGridOverManyLateWakeUps) {
    // Every wake-up comes up to 0.9 interval late; the deadlines must not move with it.
    auto clock =
        std::make_unique<TFakeTimerClock>([](size_t n) { return int64_t(n * 7919 % 900) * 1000; });
    TFakeTimerClock* fake = clock.get();
    TPreciseTimer timer(std::move(clock));
    timer.SetInterval(1);
    std::vector<int64_t> tick_times;
    RunTicks(timer, 100'000, [&](int) { tick_times.push_back(fake->NowNs()); });
    const std::vector<int64_t> deadlines = fake->Deadlines();
    ASSERT_GE(deadlines.size(), 100'000u);
    const int64_t start = timer.StartedAtNs();
    for (size_t n = 0; n < 100'000; ++n) {
        ASSERT_EQ(deadlines[n], start + int64_t(n + 1) * Ms) << n;
        ASSERT_GE(tick_times[n], deadlines[n]) << n;
    }
    EXPECT_EQ(timer.LateTicks(), 0);
    EXPECT_EQ(timer.SkippedTicks(), 0);
}

TEST(PreciseTimer, ATickThatOverrunsIsCoalescedAndTheTimerKeepsRunning) {
    auto clock = std::make_unique<TFakeTimerClock>();
    TFakeTimerClock* fake = clock.get();
    TPreciseTimer timer(std::move(clock));
    timer.SetInterval(10);
    std::atomic<int> inside{0};
    int most_inside = 0;
    RunTicks(timer, 8, [&](int tick) {
        most_inside = std::max(most_inside, ++inside);
        if (tick == 5)
            fake->Advance(35 * Ms); // this tick takes three and a half intervals
        --inside;
    });
    const int64_t start = timer.StartedAtNs();
    std::vector<int64_t> due;
    for (int64_t n : {1, 2, 3, 4, 5, 8, 9, 10})
        due.push_back(start + n * 10 * Ms);
    EXPECT_EQ(fake->Deadlines(), due);
    EXPECT_EQ(timer.LateTicks(), 1);
    EXPECT_EQ(timer.SkippedTicks(), 2);
    EXPECT_EQ(most_inside, 1);
}

TEST(PreciseTimer, AnExceptionInATickIsReportedAndStopsTheTimer) {
    TPreciseTimer timer(std::make_unique<TFakeTimerClock>());
    timer.SetInterval(5);
    std::atomic<int> ticks{0};
    std::promise<std::string> reported;
    timer.OnTimer = [&](TPreciseTimer&) {
        if (++ticks == 3)
            throw std::runtime_error("disk full");
    };
    timer.OnError = [&](TPreciseTimer&, const std::string& message) {
        reported.set_value(message);
    };
    timer.Start();
    auto message = reported.get_future();
    ASSERT_EQ(message.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(message.get(), "disk full");
    timer.Stop();
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(ticks.load(), 3);
    // A later Start runs again.
    timer.OnTimer = {};
    timer.Start();
    EXPECT_TRUE(timer.Running());
    timer.Stop();
}

TEST(PreciseTimer, RefusesAnIntervalOfZeroAndKeepsTheResolutionAtLeastOne) {
    TPreciseTimer timer;
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_THROW(timer.SetInterval(0), std::invalid_argument);
    EXPECT_THROW(timer.SetInterval(int64_t(1) << 31), std::invalid_argument);
    EXPECT_EQ(timer.Interval(), 1000);
    timer.SetResolution(0);
    EXPECT_EQ(timer.Resolution(), 1u);
    timer.Loaded(); // AutoStart off
    EXPECT_FALSE(timer.Running());
    timer.AutoStart = true;
    timer.Loaded();
    EXPECT_TRUE(timer.Running());
}

TEST(PreciseTimer, StopWakesALongSleepAndJoinsAtOnce) {
    auto owned = std::make_unique<TFakeTimerClock>();
    TFakeTimerClock& clock = *owned;
    clock.HoldAfter(0); // the sleep toward the first tick, a minute away, lasts until woken
    TPreciseTimer timer(std::move(owned));
    timer.SetInterval(60'000);
    std::atomic<int> ticks{0};
    timer.OnTimer = [&](TPreciseTimer&) { ++ticks; };
    timer.Start();
    EXPECT_TRUE(timer.Running());
    ASSERT_TRUE(clock.WaitForHold());
    timer.Stop();
    EXPECT_EQ(clock.Wakes(), 1);
    EXPECT_EQ(clock.UnwokenHolds(), 0) << "Stop waited for the deadline instead of waking";
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(ticks.load(), 0);
}

TEST(MonotonicTimerClock, AWakeEndsTheSleepBeforeItsDeadline) {
    const auto clock = MakeMonotonicTimerClock();
    // A wake before the sleep ends the next sleep; one from another thread ends a sleep
    // that has begun, or the next one. Either way the deadline is not reached.
    clock->Wake();
    EXPECT_FALSE(clock->SleepUntil(clock->NowNs() + 60'000 * Ms));
    std::thread waker([&] { clock->Wake(); });
    EXPECT_FALSE(clock->SleepUntil(clock->NowNs() + 60'000 * Ms));
    waker.join();
    EXPECT_TRUE(clock->SleepUntil(clock->NowNs() + Ms)) << "no wake is left over";
}

TEST(PreciseTimer, StopWaitsForTheRunningTickAndNoTickFollows) {
    TPreciseTimer timer;
    timer.SetInterval(1);
    std::atomic<int> ticks{0};
    std::atomic<bool> in_tick{false};
    std::promise<void> first;
    timer.OnTimer = [&](TPreciseTimer&) {
        in_tick = true;
        if (++ticks == 1)
            first.set_value();
        std::this_thread::sleep_for(30ms);
        in_tick = false;
    };
    timer.Start();
    ASSERT_EQ(first.get_future().wait_for(5s), std::future_status::ready);
    timer.Stop();
    EXPECT_FALSE(in_tick.load());
    EXPECT_FALSE(timer.Busy());
    const int after_stop = ticks.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ticks.load(), after_stop);
}

TEST(PreciseTimer, DestroyingARunningTimerJoinsItsThread) {
    std::atomic<int> ticks{0};
    {
        TPreciseTimer timer;
        timer.SetInterval(1);
        timer.OnTimer = [&](TPreciseTimer&) {
            ++ticks;
            std::this_thread::sleep_for(2ms);
        };
        timer.Start();
        std::this_thread::sleep_for(30ms);
    }
    const int after = ticks.load();
    EXPECT_GT(after, 0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks.load(), after);
}

TEST(PreciseTimer, OnTheRealClockNoTickComesBeforeItsDeadline) {
    TPreciseTimer timer;
    timer.SetInterval(5);
    std::vector<int64_t> tick_times;
    RunTicks(timer, 20, [&](int) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        tick_times.push_back(int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec);
    });
    ASSERT_EQ(tick_times.size(), 20u);
    for (size_t n = 0; n < tick_times.size(); ++n)
        EXPECT_GE(tick_times[n], timer.StartedAtNs() + int64_t(n + 1) * 5 * Ms) << n;
}

TEST(PreciseTimer, ANewIntervalWhileRunningRestartsThePeriod) {
    TPreciseTimer timer;
    timer.SetInterval(60'000);
    std::promise<void> ticked;
    std::atomic<int> ticks{0};
    timer.OnTimer = [&](TPreciseTimer&) {
        if (++ticks == 1)
            ticked.set_value();
    };
    timer.Start();
    timer.SetInterval(5);
    ASSERT_EQ(ticked.get_future().wait_for(5s), std::future_status::ready);
    timer.Stop();
}

} // namespace
