#pragma once

#include <string>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Creates a folder. A taken name (letter case ignored) gets the next free "Name (2)"; the folder
// created is result().undo.created.front().
class NewFolderJob : public FileJob {
  public:
    explicit NewFolderJob(std::string parentDir, std::string name = "New Folder");
};

}  // namespace kv
