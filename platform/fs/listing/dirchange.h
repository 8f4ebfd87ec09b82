#pragma once

#include <string>
#include <vector>

namespace kv {

// What a DirWatcher reports for one watched folder after a burst of changes has settled.
struct DirChange {
    std::string path;                // the folder as it was given to watch()
    std::vector<std::string> names;  // entries created, deleted, renamed or rewritten (raw bytes)
    // Too many names to list, or the kernel's queue overflowed: reload the whole folder.
    bool reloadAll = false;
    // The folder itself was deleted, renamed away or unmounted; its watch is gone.
    bool vanished = false;
    // With vanished: the folder's volume was unmounted (what is left is at most an empty mount point).
    bool unmounted = false;
    int error = 0;  // when watching failed to start (errno), with vanished set
};

}  // namespace kv
