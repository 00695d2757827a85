#pragma once
// The program's worker threads: started once, on first use, and joined at exit. Work split
// into independent parts runs on them and on the calling thread, instead of on threads
// made anew for every call.

#include <functional>

// How many parts can run at once: the workers and the calling thread, one for each
// processor the process may use (1 to 8).
int ThreadPoolSize();

// Runs part(0) ... part(count - 1), each once, and returns when all have ended. When the
// workers are taken (another call is running, or the caller is itself a part) the parts run
// in turn on the calling thread. An exception thrown by a part is rethrown here after all
// parts have ended: that of the lowest part index.
void RunParts(int count, const std::function<void(int part)>& part);
