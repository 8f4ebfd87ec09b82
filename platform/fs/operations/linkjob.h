#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Makes a symbolic link to each item beside it, named "name (link).ext" (then "(link 2)" and on while
// the name is taken). The link holds the item's name only, so it keeps working when the folder moves.
// The links made are result().undo.created. Given a folder to make them in instead (a drop's Link
// Here), each link there takes the item's own name where it is free, and holds the item's whole path.
class LinkJob : public FileJob {
  public:
    explicit LinkJob(std::vector<std::string> paths, std::optional<std::string> into = {});
};

}  // namespace kv
