#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include <sched.h>
#include <sys/wait.h>
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

// A process bound to one processor (taskset, a CPU set) gets no workers that would only
// take turns with the caller. Checked in a copy of this test run bound to one processor.
TEST(ThreadPool, AProcessBoundToOneProcessorRunsThePartsItself) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    if (CPU_COUNT(&set) == 1) {
        EXPECT_EQ(ThreadPoolSize(), 1);
        EXPECT_EQ(ThreadsOfOneCall(4), std::set<pid_t>{gettid()});
        return;
    }
    int first = 0;
    while (!CPU_ISSET(first, &set))
        ++first;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        sched_setaffinity(0, sizeof one, &one);
        execl("/proc/self/exe", "platform_tests",
              "--gtest_filter=ThreadPool.AProcessBoundToOneProcessorRunsThePartsItself",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
