#pragma once

#include <string>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Creates an empty file. A taken name (letter case ignored) gets the next free "Name (2)"; the file
// created is result().undo.created.front(). Never replaces anything: the file is created exclusively.
class NewFileJob : public FileJob {
  public:
    explicit NewFileJob(std::string parentDir, std::string name = "New File");
};

}  // namespace kv
