#include "platform/FrameMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

long PageFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

// The optimiser drops stores to a block that is freed right after; the test needs them
// to reach the pages, so the block's address escapes into an empty asm.
void KeepStores(void* block) {
    asm volatile("" : : "r"(block) : "memory");
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizerAllocator = true; // it holds freed blocks back on purpose
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SanitizerAllocator = true;
#else
constexpr bool SanitizerAllocator = false;
#endif
#else
constexpr bool SanitizerAllocator = false;
#endif

#if defined(__GLIBC__)
TEST(FrameMemory, AFreedFrameIsReusedWithoutFreshPages) {
    if (SanitizerAllocator)
        GTEST_SKIP() << "the address sanitizer's allocator is not the heap the program runs on";
    ReuseFreedFrameMemory();
    constexpr size_t FrameBytes = size_t(1920) * 1080 * 3; // 1,519 pages when fresh
    for (int round = 0; round < 3; ++round) {
        void* first = std::malloc(FrameBytes);
        ASSERT_NE(first, nullptr);
        std::memset(first, round, FrameBytes);
        KeepStores(first);
        std::free(first);
        const long before = PageFaults();
        auto* next = static_cast<unsigned char*>(std::malloc(FrameBytes));
        ASSERT_NE(next, nullptr);
        std::memset(next, round + 1, FrameBytes);
        KeepStores(next);
        const long faults = PageFaults() - before;
        EXPECT_EQ(next[FrameBytes - 1], round + 1);
        std::free(next);
        EXPECT_LT(faults, 50) << "round " << round;
    }
}
#endif

} // namespace
