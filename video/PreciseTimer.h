#pragma once
// Periodic timer for recordings: one thread that sleeps to absolute deadlines on the
// monotonic clock, so tick n is due at start + n x Interval and lateness never adds up.
//
// - One tick runs at a time. A tick that ends after the next deadline makes that deadline
//   (and any others passed meanwhile) one tick run at once: it is counted in LateTicks,
//   the passed deadlines beyond it in SkippedTicks; the timer keeps running.
// - An exception thrown by OnTimer is caught on the timer thread, handed to OnError and
//   stops the timer.
// - Stop and the destructor wake the thread and join it; Stop called from inside a tick
//   only asks the thread to end after that tick (a thread cannot join itself), and the
//   next Start, Stop or the destructor joins it.
// - Changing Interval while running restarts the period from the moment of the change.
//
// The clock is injected, so tests run many ticks on a fake clock without waiting.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Monotonic time in nanoseconds and a sleep to an absolute deadline that Wake interrupts.
class TTimerClock {
public:
    virtual ~TTimerClock() = default;
    virtual int64_t NowNs() = 0;
    // Sleeps until NowNs() >= deadline_ns or Wake; true when the deadline was reached. A Wake
    // that comes before the sleep makes the next sleep return at once.
    virtual bool SleepUntil(int64_t deadline_ns) = 0;
    virtual void Wake() = 0;
};

// CLOCK_MONOTONIC through a timerfd armed with an absolute time and an eventfd for Wake.
std::unique_ptr<TTimerClock> MakeMonotonicTimerClock();

// Which tick comes after tick done_index has ended at now_ns (ticks numbered from 1, tick k
// due at start_ns + k x interval_ns). When the next deadline has already passed, the latest
// passed deadline is run at once and the ones between are skipped.
struct TTickSchedule {
    int64_t NextIndex = 0;
    int64_t Skipped = 0;
    bool Late = false;
};
TTickSchedule NextTick(int64_t start_ns, int64_t interval_ns, int64_t done_index, int64_t now_ns);

class TPreciseTimer {
public:
    using TOnTimer = std::function<void(TPreciseTimer& sender)>;
    using TOnError = std::function<void(TPreciseTimer& sender, const std::string& message)>;

    explicit TPreciseTimer(std::unique_ptr<TTimerClock> clock = MakeMonotonicTimerClock());
    ~TPreciseTimer();
    TPreciseTimer(const TPreciseTimer&) = delete;
    TPreciseTimer& operator=(const TPreciseTimer&) = delete;

    bool AutoStart = false;
    // Set before Start; not changed while running.
    TOnTimer OnTimer;
    TOnError OnError;

    // Start does nothing while running; an Interval of 0 never reaches it (the setter refuses it).
    void Start();
    void Stop();
    // Starts when AutoStart is set.
    void Loaded();

    int64_t Interval() const { return interval_ms_.load(); }
    // Throws std::invalid_argument for an interval below 1 ms.
    void SetInterval(int64_t interval_ms);
    uint32_t Resolution() const { return resolution_ms_.load(); }
    // Raised to 1 ms, the finest period the timer offers.
    void SetResolution(uint32_t resolution_ms);

    bool Running() const { return running_.load(); }
    bool Busy() const { return busy_.load(); }
    int32_t TickCount() const { return tick_count_.load(); }
    void SetTickCount(int32_t value) { tick_count_.store(value); }

    // Since the last Start.
    int64_t LateTicks() const { return late_ticks_.load(); }
    int64_t SkippedTicks() const { return skipped_ticks_.load(); }
    // Monotonic time of the last Start, on the timer's clock.
    int64_t StartedAtNs() const { return started_at_ns_.load(); }
    // The deadline of the running (or last) tick, on the timer's clock.
    int64_t TickDeadlineNs() const { return tick_deadline_ns_.load(); }

private:
    void Run();
    void JoinUnlessSelf();

    std::unique_ptr<TTimerClock> clock_;
    std::thread thread_;
    std::mutex control_mutex_;
    std::atomic<int64_t> interval_ms_{1000};
    std::atomic<uint32_t> resolution_ms_{1};
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> restart_requested_{false};
    std::atomic<bool> busy_{false};
    std::atomic<int32_t> tick_count_{0};
    std::atomic<int64_t> late_ticks_{0};
    std::atomic<int64_t> skipped_ticks_{0};
    std::atomic<int64_t> started_at_ns_{0};
    std::atomic<int64_t> tick_deadline_ns_{0};
    std::atomic<std::thread::id> timer_thread_id_{};
};
