#pragma once

#include <string>
#include <utility>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Creates an empty file or a folder. A taken name (letter case ignored) gets the next free "Name (2)";
// the item created is result().undo.created.front(). Never replaces anything: a file is created
// exclusively.
class NewItemJob : public FileJob {
  public:
    enum class Kind { File, Folder };
    NewItemJob(Kind kind, std::string parentDir, std::string name);
};

// Each kind with its default name.
class NewFileJob : public NewItemJob {
  public:
    explicit NewFileJob(std::string parentDir, std::string name = "New File")
        : NewItemJob(Kind::File, std::move(parentDir), std::move(name)) {}
};

class NewFolderJob : public NewItemJob {
  public:
    explicit NewFolderJob(std::string parentDir, std::string name = "New Folder")
        : NewItemJob(Kind::Folder, std::move(parentDir), std::move(name)) {}
};

}  // namespace kv
