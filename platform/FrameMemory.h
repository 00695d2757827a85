#pragma once
// How the heap treats frame-sized blocks, for the whole process.

// Blocks up to 32 MB (a 1920x1080 frame is 6 MB, a 5-megapixel one 15 MB) come from the
// heap, and up to 64 MB of freed heap stays with the process instead of going back to the
// system at every free. Fresh memory costs a page fault per 4 KB page, on a virtual
// machine about 16 ms for one 1920x1080 frame: more than copying it. Call once at start,
// before other threads run.
void ReuseFreedFrameMemory();
