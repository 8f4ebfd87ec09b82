#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Copies each item beside itself as "name (copy).ext" ("(copy 2)" and on while taken), with the copy
// engine's promises (Transfer): nothing is replaced, a failed copy leaves nothing behind. Undo
// information as a copy's.
class DuplicateJob : public FileJob {
  public:
    explicit DuplicateJob(std::vector<std::string> paths);
};

}  // namespace kv
