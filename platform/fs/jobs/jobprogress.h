#pragma once

#include <cstdint>
#include <string>

namespace kv {

// A snapshot of a job's progress; a job sends a few a second while it works and one when it ends.
struct JobProgress {
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;  // 0 while the sources are still being counted
    std::uint64_t itemsDone = 0;
    std::uint64_t itemsTotal = 0;
    bool totalsKnown = false;
    bool paused = false;
    std::string current;  // the item being worked on (raw bytes)
};

}  // namespace kv
