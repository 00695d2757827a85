#include "FrameMemory.h"

#include <cstdint>
#include <cstdlib> // says whether the C library is glibc
#include <iterator>
#include <mutex>
#include <vector>

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReuseFreedFrameMemory() {
#if defined(__GLIBC__)
    // Fixed values also end the allocator's own adjustment, which moved the limits with
    // every large free and so returned and refetched frame memory unpredictably.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

namespace {

constexpr size_t HugePageBytes = size_t(2) << 20;

// Blocks are whole huge pages, so that a kept block fits every image of its size class.
size_t Rounded(size_t bytes) {
    return (bytes + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
}

struct KeptBlock {
    void* block;
    size_t bytes;
};

std::mutex KeptMutex;
std::vector<KeptBlock> Kept; // most recently freed last

// A mapping whose start lies on a huge page boundary: the kernel backs only aligned 2 MB
// ranges with huge pages.
void* MapAligned(size_t bytes) {
    const size_t mapped = bytes + HugePageBytes;
    void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
    if (aligned > start)
        munmap(area, aligned - start);
    const uintptr_t end = start + mapped;
    if (end > aligned + bytes)
        munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    void* block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(block, bytes, MADV_HUGEPAGE); // a hint: without huge pages the block still works
#endif
    return block;
}

} // namespace

void* TakeLargeBlock(size_t bytes) {
    if (bytes == 0)
        return nullptr;
    const size_t size = Rounded(bytes);
    {
        std::lock_guard lock(KeptMutex);
        // A block of the size or a little larger, the latest freed first.
        for (auto it = Kept.rbegin(); it != Kept.rend(); ++it) {
            if (it->bytes >= size && it->bytes - size <= size / 4) {
                void* block = it->block;
                Kept.erase(std::next(it).base());
                return block;
            }
        }
    }
    return MapAligned(size);
}

void GiveBackLargeBlock(void* block, size_t bytes) {
    if (!block)
        return;
    const size_t size = Rounded(bytes);
    std::vector<KeptBlock> released;
    {
        std::lock_guard lock(KeptMutex);
        Kept.push_back({block, size});
        size_t total = 0;
        for (const KeptBlock& k : Kept)
            total += k.bytes;
        while (!Kept.empty() &&
               (int(Kept.size()) > KeptLargeBlocks || total > KeptLargeBlockBytes)) {
            total -= Kept.front().bytes;
            released.push_back(Kept.front());
            Kept.erase(Kept.begin());
        }
    }
    for (const KeptBlock& k : released)
        munmap(k.block, k.bytes);
}
