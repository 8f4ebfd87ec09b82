#pragma once

#include <string>
#include <vector>

#include "platform/fs/filejob.h"

namespace kv {

// Deletes items for good (Shift+Delete, after the UI's confirmation). Folders are emptied depth
// first without following symlinks, so a link to a folder deletes the link, never what it points
// to. No undo.
class DeleteJob : public FileJob {
  public:
    explicit DeleteJob(std::vector<std::string> paths);
};

}  // namespace kv
