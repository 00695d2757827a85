#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace {

// The kernel thread ids that ran the parts of one call. Each part waits until all have
// started (as far as there are threads for them), so that every worker takes a part.
std::set<pid_t> ThreadsOfOneCall(int count) {
    std::mutex mutex;
    std::set<pid_t> threads;
    std::atomic<int> started{0};
    const int together = std::min(count, ThreadPoolSize());
    RunParts(count, [&](int) {
        ++started;
        while (started.load() < together) {
        }
        std::lock_guard lock(mutex);
        threads.insert(gettid());
    });
    return threads;
}

} // namespace

TEST(ThreadPool, EveryCallRunsOnTheSameThreads) {
    if (ThreadPoolSize() < 2)
        GTEST_SKIP() << "one processor: there are no workers";
    const std::set<pid_t> first = ThreadsOfOneCall(ThreadPoolSize());
    EXPECT_EQ(int(first.size()), ThreadPoolSize());
    EXPECT_TRUE(first.count(gettid())) << "the caller takes part";
    for (int call = 0; call < 5; ++call)
        EXPECT_EQ(ThreadsOfOneCall(ThreadPoolSize()), first) << call;
}

TEST(ThreadPool, RunsEveryPartOnce) {
    for (int count : {1, 2, 3, 7, 8, 9, 64}) {
        std::vector<std::atomic<int>> runs(static_cast<size_t>(count));
        RunParts(count, [&](int part) { ++runs[size_t(part)]; });
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(runs[size_t(i)].load(), 1) << count << ": " << i;
    }
    RunParts(0, [](int) { FAIL(); });
}

TEST(ThreadPool, APartMayRunPartsItself) {
    std::atomic<int> inner{0};
    RunParts(4, [&](int) { RunParts(3, [&](int) { ++inner; }); });
    EXPECT_EQ(inner.load(), 12);
}

TEST(ThreadPool, RethrowsTheErrorOfTheLowestPartAfterAllEnded) {
    std::atomic<int> ended{0};
    try {
        RunParts(6, [&](int part) {
            ++ended;
            if (part == 2 || part == 4)
                throw std::runtime_error("part " + std::to_string(part));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "part 2");
    }
    EXPECT_EQ(ended.load(), 6);
}
