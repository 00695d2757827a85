#include "FrameMemory.h"

#include <cstdlib> // says whether the C library is glibc

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
