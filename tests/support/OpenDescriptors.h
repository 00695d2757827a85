#pragma once
// The descriptors this process holds open, for tests that nothing leaks and nothing passes
// to a program started later.

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>

namespace quvartest {

inline std::set<int> OpenDescriptors() {
    std::set<int> open;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return open;
    while (const dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] != '.' && fd != ::dirfd(dir))
            open.insert(fd);
    }
    ::closedir(dir);
    return open;
}

inline bool ClosedOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC) != 0;
}

} // namespace quvartest
