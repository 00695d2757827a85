#pragma once
// A timer clock for tests: time moves only when told to.
//
// Jumping: every sleep returns at once with the clock put at the deadline plus a lateness
// chosen by the test, so thousands of ticks take no real time. Holding: a sleep to a
// deadline past HoldAfter blocks until Wake, as a real sleep to a far deadline does, so a
// test can stop a timer at an exact tick. A hold that no Wake ends gives up after 20 s of
// real time and is counted, so a missing Wake fails a test instead of hanging it.

#include "video/PreciseTimer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

class TFakeTimerClock final : public TTimerClock {
public:
    explicit TFakeTimerClock(std::function<int64_t(size_t sleep_number)> lateness_ns = {})
        : lateness_ns_(std::move(lateness_ns)) {}

    int64_t NowNs() override {
        std::lock_guard lock(mutex_);
        return now_ns_;
    }
    bool SleepUntil(int64_t deadline_ns) override {
        std::unique_lock lock(mutex_);
        if (!woken_ && deadline_ns > hold_after_ns_) {
            ++holds_;
            changed_.notify_all();
            if (!changed_.wait_for(lock, std::chrono::seconds(20), [this] { return woken_; }))
                ++unwoken_holds_;
        }
        if (woken_) {
            woken_ = false;
            return false;
        }
        if (deadline_ns > hold_after_ns_)
            return false; // given up: counted in UnwokenHolds
        deadlines_.push_back(deadline_ns);
        now_ns_ =
            std::max(now_ns_, deadline_ns) + (lateness_ns_ ? lateness_ns_(deadlines_.size()) : 0);
        return true;
    }
    void Wake() override {
        std::lock_guard lock(mutex_);
        woken_ = true;
        ++wakes_;
        changed_.notify_all();
    }

    void Advance(int64_t ns) {
        std::lock_guard lock(mutex_);
        now_ns_ += ns;
    }
    // Sleeps to deadlines after deadline_ns are held until Wake.
    void HoldAfter(int64_t deadline_ns) {
        std::lock_guard lock(mutex_);
        hold_after_ns_ = deadline_ns;
    }
    // Waits until a sleep has been held (at most 20 s); false when none was.
    bool WaitForHold() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return holds_ > 0; });
    }
    std::vector<int64_t> Deadlines() {
        std::lock_guard lock(mutex_);
        return deadlines_;
    }
    int Wakes() {
        std::lock_guard lock(mutex_);
        return wakes_;
    }
    int UnwokenHolds() {
        std::lock_guard lock(mutex_);
        return unwoken_holds_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int64_t now_ns_ = int64_t(5'000) * 1'000'000;
    int64_t hold_after_ns_ = std::numeric_limits<int64_t>::max();
    bool woken_ = false;
    int holds_ = 0, wakes_ = 0, unwoken_holds_ = 0;
    std::vector<int64_t> deadlines_;
    std::function<int64_t(size_t)> lateness_ns_;
};
