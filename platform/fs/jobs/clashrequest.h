#pragma once

#include <sys/stat.h>

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
    // The new item is an archive the job is about to write: nothing of it exists to describe yet, and
    // it is the job's only clash.
    bool sourceIsNewArchive = false;
    // False when Replace is not possible (a folder against a file): the prompt should not offer it,
    // and a Replace answer is taken as Skip.
    bool canReplace = true;
    bool merge() const { return sourceIsDir && targetIsDir; }

    // What a prompt shows of the two items, from their lstat.
    static ClashRequest between(const std::string& source, const struct stat& s, const std::string& target,
                                const struct stat& t) {
        ClashRequest r;
        r.source = source;
        r.target = target;
        r.sourceIsDir = S_ISDIR(s.st_mode);
        r.targetIsDir = S_ISDIR(t.st_mode);
        r.sourceSize = static_cast<std::uint64_t>(s.st_size);
        r.targetSize = static_cast<std::uint64_t>(t.st_size);
        r.sourceMtimeNs = s.st_mtim.tv_sec * 1000000000LL + s.st_mtim.tv_nsec;
        r.targetMtimeNs = t.st_mtim.tv_sec * 1000000000LL + t.st_mtim.tv_nsec;
        return r;
    }
};

}  // namespace kv
