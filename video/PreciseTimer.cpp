#include "PreciseTimer.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int64_t NsPerMs = 1'000'000;

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// start + index x interval, held at the largest time instead of wrapping.
int64_t DueNs(int64_t start_ns, int64_t interval_ns, int64_t index) {
    int64_t offset = 0;
    int64_t due = 0;
    if (__builtin_mul_overflow(interval_ns, index, &offset) ||
        __builtin_add_overflow(start_ns, offset, &due))
        return std::numeric_limits<int64_t>::max();
    return due;
}

class TMonotonicTimerClock final : public TTimerClock {
public:
    TMonotonicTimerClock()
        : timer_fd_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC)),
          wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (timer_fd_ < 0 || wake_fd_ < 0) {
            const std::string reason = std::strerror(errno);
            Close();
            throw std::runtime_error("Cannot create the recording timer: " + reason);
        }
    }
    ~TMonotonicTimerClock() override { Close(); }

    int64_t NowNs() override { return MonotonicNs(); }

    bool SleepUntil(int64_t deadline_ns) override {
        if (deadline_ns <= NowNs())
            return !DrainWake();
        itimerspec due{};
        due.it_value.tv_sec = deadline_ns / 1'000'000'000;
        due.it_value.tv_nsec = deadline_ns % 1'000'000'000;
        if (timerfd_settime(timer_fd_, TFD_TIMER_ABSTIME, &due, nullptr) != 0)
            return !DrainWake();
        pollfd fds[2] = {{timer_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        for (;;) {
            const int ready = poll(fds, 2, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return !DrainWake();
            if (fds[1].revents & POLLIN) {
                DrainWake();
                Disarm();
                return false;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t expirations = 0;
                [[maybe_unused]] const ssize_t got =
                    read(timer_fd_, &expirations, sizeof expirations);
                return true;
            }
        }
    }

    void Wake() override {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(wake_fd_, &one, sizeof one);
    }

private:
    bool DrainWake() {
        uint64_t count = 0;
        return read(wake_fd_, &count, sizeof count) == ssize_t(sizeof count);
    }
    void Disarm() {
        const itimerspec off{};
        timerfd_settime(timer_fd_, 0, &off, nullptr);
    }
    void Close() {
        if (timer_fd_ >= 0)
            close(timer_fd_);
        if (wake_fd_ >= 0)
            close(wake_fd_);
        timer_fd_ = wake_fd_ = -1;
    }

    int timer_fd_;
    int wake_fd_;
};

} // namespace

std::unique_ptr<TTimerClock> MakeMonotonicTimerClock() {
    return std::make_unique<TMonotonicTimerClock>();
}

TTickSchedule NextTick(int64_t start_ns, int64_t interval_ns, int64_t done_index, int64_t now_ns) {
    TTickSchedule next;
    next.NextIndex = done_index + 1;
    if (now_ns < DueNs(start_ns, interval_ns, next.NextIndex))
        return next;
    const int64_t latest_passed = (now_ns - start_ns) / interval_ns;
    next.Late = true;
    next.Skipped = latest_passed - next.NextIndex;
    next.NextIndex = latest_passed;
    return next;
}

TPreciseTimer::TPreciseTimer(std::unique_ptr<TTimerClock> clock) : clock_(std::move(clock)) {}

TPreciseTimer::~TPreciseTimer() {
    Stop();
    // A Stop from inside the last tick left the thread for us to join.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TPreciseTimer::Start() {
    if (std::this_thread::get_id() == timer_thread_id_.load()) {
        // Restarted from inside a tick: the running thread carries on with a new period.
        if (running_.load())
            return;
        stop_requested_ = false;
        restart_requested_ = true;
        running_ = true;
        return;
    }
    std::lock_guard lock(control_mutex_);
    if (running_.load())
        return;
    JoinUnlessSelf();
    stop_requested_ = false;
    restart_requested_ = false;
    late_ticks_ = 0;
    skipped_ticks_ = 0;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

void TPreciseTimer::Stop() {
    if (std::this_thread::get_id() == timer_thread_id_.load()) {
        stop_requested_ = true;
        running_ = false;
        return;
    }
    std::lock_guard lock(control_mutex_);
    stop_requested_ = true;
    running_ = false;
    clock_->Wake();
    JoinUnlessSelf();
}

void TPreciseTimer::Loaded() {
    if (AutoStart)
        Start();
}

void TPreciseTimer::SetInterval(int64_t interval_ms) {
    if (interval_ms < 1 || interval_ms > std::numeric_limits<int32_t>::max())
        throw std::invalid_argument("The timer interval must be 1 to 2147483647 ms, not " +
                                    std::to_string(interval_ms));
    if (interval_ms_.exchange(interval_ms) == interval_ms)
        return;
    if (running_.load()) {
        restart_requested_ = true;
        clock_->Wake();
    }
}

void TPreciseTimer::SetResolution(uint32_t resolution_ms) {
    resolution_ms_ = resolution_ms < 1 ? 1 : resolution_ms;
}

void TPreciseTimer::JoinUnlessSelf() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TPreciseTimer::Run() {
    timer_thread_id_ = std::this_thread::get_id();
    // The default timer slack of 50 us would show as lateness at a 1 ms period.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    int64_t start_ns = clock_->NowNs();
    started_at_ns_ = start_ns;
    int64_t index = 1;
    while (!stop_requested_.load()) {
        if (restart_requested_.exchange(false)) {
            start_ns = clock_->NowNs();
            started_at_ns_ = start_ns;
            index = 1;
        }
        const int64_t interval_ns = interval_ms_.load() * NsPerMs;
        const int64_t deadline_ns = DueNs(start_ns, interval_ns, index);
        if (!clock_->SleepUntil(deadline_ns))
            continue; // woken: stop or a new interval, seen at the top
        if (stop_requested_.load() || restart_requested_.load())
            continue;
        tick_deadline_ns_ = deadline_ns;
        std::string error;
        busy_ = true;
        try {
            if (OnTimer)
                OnTimer(*this);
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "Unknown error in a timer tick";
        }
        busy_ = false;
        if (!error.empty()) {
            stop_requested_ = true;
            running_ = false;
            if (OnError)
                OnError(*this, error);
            break;
        }
        const TTickSchedule next = NextTick(start_ns, interval_ns, index, clock_->NowNs());
        late_ticks_ += next.Late ? 1 : 0;
        skipped_ticks_ += next.Skipped;
        index = next.NextIndex;
    }
    running_ = false;
    timer_thread_id_ = std::thread::id();
}
