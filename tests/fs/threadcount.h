#pragma once

#include <dirent.h>

#include "fs/waituntil.h"

namespace kv::test {

// The threads of this process, as the kernel lists them.
inline int threadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 2;
}

// Waits until no more than `most` threads are left: the detached threads of work that was cancelled
// have ended, so whatever they could still have done is done. False when some are left after 15 s.
inline bool waitForThreads(int most) {
    return waitUntil([most] { return threadCount() <= most; });
}

}  // namespace kv::test
