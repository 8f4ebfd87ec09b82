#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>

namespace kv {

// One row of a folder listing. The name is the raw bytes the filesystem returned (it need not be valid
// UTF-8); the view decodes it for display only, and every file operation is given these bytes back.
struct DirEntry {
    std::string name;
    // Natural, case- and accent-folded key (SortKey::make); compared bytewise it gives the name order.
    std::string sortKey;
    std::uint64_t size = 0;    // of the target for a symlink that resolves; the link's own size otherwise
    std::int64_t mtimeNs = 0;  // nanoseconds since the epoch
    mode_t mode = 0;           // st_mode of the entry itself (S_IFLNK for a symlink)
    bool isDir = false;        // a folder, or a symlink to one: decides whether a double-click opens it
    bool isSymlink = false;
    bool isBrokenLink = false;  // a symlink whose target does not resolve
    bool hidden = false;        // leading dot
    bool unanswered = false;    // its stat did not answer in time (a hung mount point): size and time unknown
};

}  // namespace kv
