#pragma once
// How the heap treats frame-sized blocks, for the whole process.

#include <cstddef>

// Blocks up to 32 MB (a 1920x1080 frame is 6 MB, a 5-megapixel one 15 MB) come from the
// heap, and up to 64 MB of freed heap stays with the process instead of going back to the
// system at every free. Fresh memory costs a page fault per 4 KB page, on a virtual
// machine about 16 ms for one 1920x1080 frame: more than copying it. Call once at start,
// before other threads run.
void ReuseFreedFrameMemory();

// Memory for one image beyond the heap's blocks (a 24-megapixel bitmap is 72 MB). The most
// recently freed blocks are kept for the next images instead of going back to the system:
// an image opened after another then writes into pages already there. A fresh block is
// mapped in huge pages where the system offers them (a fault per 2 MB instead of per
// 4 KB). Null when the memory cannot be had. Thread-safe.
void* TakeLargeBlock(size_t bytes);
// Gives back a block from TakeLargeBlock with the same size.
void GiveBackLargeBlock(void* block, size_t bytes);
// What is kept of freed blocks: at most this many, of at most this many bytes together.
inline constexpr int KeptLargeBlocks = 2;
inline constexpr size_t KeptLargeBlockBytes = size_t(256) << 20;
