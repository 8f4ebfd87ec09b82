#pragma once

#include <string>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Renames one item within its folder (F2). A taken name, also one differing only in case, goes to
// the resolver (Replace only between two non-folders); changing only the case of a name works on
// filesystems that ignore case too. Undo information: the (from, to) pair.
class RenameJob : public FileJob {
  public:
    RenameJob(std::string path, std::string newName);
};

}  // namespace kv
