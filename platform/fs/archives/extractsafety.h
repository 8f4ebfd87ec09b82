#pragma once

#include <sys/types.h>

#include <string>

#include "platform/fs/core/fsops.h"

namespace kv {

// What keeps an extraction inside its target and its files ordinary: the checks of links' texts, and
// the modes the files get.
class ExtractSafety {
  public:
    // Whether a symbolic link at rel (relative to the extraction's top) with this text points inside
    // the extracted tree, by the text alone. Absolute targets and ".." above the top are outside.
    static bool linkStaysInside(const std::string& rel, const std::string& target);
    // Whether a link made at linkPath (below root) with this text leads to a place inside root, following
    // the links already on disk as the system will ("x" -> "." makes "x/.." the folder above). A part
    // not there yet may become a link later: a ".." after one is refused.
    static bool linkLeadsInside(FsOps& ops, const std::string& root, const std::string& linkPath,
                                const std::string& target);
    // The process's umask, read without changing it (umask() sets it, a race with every other thread).
    static mode_t currentUmask();
};

}  // namespace kv
