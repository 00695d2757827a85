#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

constexpr int MaxPoolThreads = 8;

thread_local bool InPart = false;

// The processors this process may run on (a CPU set or taskset restricts them), not all the
// machine has: more workers than those only take turns.
int UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return int(std::thread::hardware_concurrency());
}

class Pool {
public:
    Pool() {
        const int size = std::clamp(UsableProcessors(), 1, MaxPoolThreads);
        for (int i = 1; i < size; ++i)
            workers_.emplace_back([this] { Work(); });
    }

    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int Size() const { return int(workers_.size()) + 1; }

    // False when the workers are taken; the caller then runs the parts itself.
    bool Run(int count, const std::function<void(int)>& part) {
        std::unique_lock running(running_, std::try_to_lock);
        if (!running.owns_lock() || workers_.empty())
            return false;
        errors_.assign(size_t(count), nullptr);
        {
            std::lock_guard lock(mutex_);
            job_ = &part;
            count_ = count;
            next_.store(0);
            ++generation_;
        }
        wake_.notify_all();
        TakeParts(part, count);
        std::unique_lock lock(mutex_);
        // Workers that joined this job may still be inside a part, or about to find none
        // left; the job (and the caller's function) must outlive them.
        idle_.wait(lock, [this] { return active_ == 0; });
        job_ = nullptr;
        lock.unlock();
        for (const std::exception_ptr& error : errors_)
            if (error)
                std::rethrow_exception(error);
        return true;
    }

private:
    void TakeParts(const std::function<void(int)>& part, int count) {
        InPart = true;
        for (int index = next_.fetch_add(1); index < count; index = next_.fetch_add(1)) {
            try {
                part(index);
            } catch (...) {
                errors_[size_t(index)] = std::current_exception();
            }
        }
        InPart = false;
    }

    void Work() {
        unsigned long long seen = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_)
                return;
            seen = generation_;
            if (!job_)
                continue;
            const std::function<void(int)>* job = job_;
            const int count = count_;
            ++active_;
            lock.unlock();
            TakeParts(*job, count);
            lock.lock();
            if (--active_ == 0)
                idle_.notify_all();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex running_; // held by the caller of a job
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    const std::function<void(int)>* job_ = nullptr;
    int count_ = 0;
    int active_ = 0;
    unsigned long long generation_ = 0;
    bool stop_ = false;
    std::atomic<int> next_{0};
    std::vector<std::exception_ptr> errors_;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

void RunInTurn(int count, const std::function<void(int)>& part) {
    std::exception_ptr first;
    for (int index = 0; index < count; ++index) {
        try {
            part(index);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

} // namespace

int ThreadPoolSize() {
    return ThePool().Size();
}

void RunParts(int count, const std::function<void(int part)>& part) {
    if (count <= 0)
        return;
    if (count == 1 || InPart || !ThePool().Run(count, part))
        RunInTurn(count, part);
}
