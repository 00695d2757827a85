// Recording timer: lateness of every tick behind its deadline (start + n x interval) at 1 ms
// and 50 ms, beside a bare clock_nanosleep(TIMER_ABSTIME) loop to the same deadlines with
// the timer's own slack (1 ns) and catch-up rule (passed deadlines coalesced into one tick).
// Counters: p50/p99/max lateness in microseconds behind each tick's own deadline, late
// (coalesced) ticks, skipped deadlines, drift (0: the grid never moved) and early ticks (0).

#include "video/PreciseTimer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <future>
#include <vector>

#include <sys/prctl.h>
#include <time.h>

namespace {

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void Report(benchmark::State& state, std::vector<int64_t> lateness_ns) {
    int64_t early = 0;
    for (int64_t late : lateness_ns)
        early += late < 0 ? 1 : 0;
    std::sort(lateness_ns.begin(), lateness_ns.end());
    auto at = [&](double q) {
        return double(lateness_ns[size_t(q * double(lateness_ns.size() - 1))]) / 1000.0;
    };
    state.counters["p50_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = at(1.0);
    state.counters["early"] = double(early);
}

void BM_PreciseTimer(benchmark::State& state) {
    const int64_t interval_ms = state.range(0);
    const int ticks = int(state.range(1));
    for (auto _ : state) {
        TPreciseTimer timer;
        timer.SetInterval(interval_ms);
        std::vector<int64_t> lateness;
        lateness.reserve(size_t(ticks));
        int64_t last_deadline = 0;
        std::promise<void> done;
        timer.OnTimer = [&](TPreciseTimer& sender) {
            lateness.push_back(NowNs() - sender.TickDeadlineNs());
            last_deadline = sender.TickDeadlineNs();
            if (int(lateness.size()) == ticks) {
                sender.Stop();
                done.set_value();
            }
        };
        timer.Start();
        done.get_future().wait();
        timer.Stop();
        Report(state, lateness);
        state.counters["late_ticks"] = double(timer.LateTicks());
        state.counters["skipped"] = double(timer.SkippedTicks());
        // Intervals the last deadline lies beyond start + ticks x interval: exactly the skipped
        // ones, so lateness never shifts the grid.
        state.counters["drift_intervals"] =
            double(last_deadline - timer.StartedAtNs()) / double(interval_ms * 1'000'000) - ticks -
            double(timer.SkippedTicks());
    }
}

void BM_BareAbsoluteSleep(benchmark::State& state) {
    const int64_t interval_ns = state.range(0) * 1'000'000;
    const int ticks = int(state.range(1));
    const int previous_slack = prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (auto _ : state) {
        std::vector<int64_t> lateness;
        int64_t late_ticks = 0, skipped = 0;
        const int64_t start = NowNs();
        for (int64_t n = 1; int(lateness.size()) < ticks;) {
            const int64_t due = start + n * interval_ns;
            const timespec at{time_t(due / 1'000'000'000), long(due % 1'000'000'000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
            }
            lateness.push_back(NowNs() - due);
            const TTickSchedule next = NextTick(start, interval_ns, n, NowNs());
            late_ticks += next.Late ? 1 : 0;
            skipped += next.Skipped;
            n = next.NextIndex;
        }
        Report(state, lateness);
        state.counters["late_ticks"] = double(late_ticks);
        state.counters["skipped"] = double(skipped);
    }
    prctl(PR_SET_TIMERSLACK,
          previous_slack > 0 ? static_cast<unsigned long>(previous_slack) : 50'000UL, 0UL, 0UL,
          0UL);
}

} // namespace

BENCHMARK(BM_PreciseTimer)
    ->Args({1, 10'000})
    ->Args({50, 200})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareAbsoluteSleep)
    ->Args({1, 10'000})
    ->Args({50, 200})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
