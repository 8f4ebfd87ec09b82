#pragma once

#include <cstdint>
#include <string>

namespace kv {

enum class ClashChoice {
    Replace,   // files: the new one replaces the old; two folders: merge the contents
    Skip,      // leave both as they are; the source stays where it is
    KeepBoth,  // the new item gets a free name ("report (2).txt")
    Cancel,    // stop the job
};

struct ClashDecision {
    ClashChoice choice = ClashChoice::Skip;
    bool applyToAll = false;  // answer every later clash of this job the same way without asking
};

// A name the job is about to create is taken. Carries what a prompt shows about both items.
struct ClashRequest {
    std::string source;         // the item being copied or moved (raw bytes)
    std::string target;         // the existing item that clashes
    std::string suggestedName;  // the free name KeepBoth would use
    std::uint64_t sourceSize = 0, targetSize = 0;
    std::int64_t sourceMtimeNs = 0, targetMtimeNs = 0;
    bool sourceIsDir = false, targetIsDir = false;
    bool caseOnly = false;  // the names differ only in letter case ("A.txt" against "a.txt")
    // False when Replace is not possible (a folder against a file): the prompt should not offer it,
    // and a Replace answer is taken as Skip.
    bool canReplace = true;
    bool merge() const { return sourceIsDir && targetIsDir; }
};

}  // namespace kv
