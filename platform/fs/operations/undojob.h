#pragma once

#include <string>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/undoinfo.h"

namespace kv {

// Undoes what a finished job reported in its UndoInfo: moves and renames go back (through the same
// rules as any move, the resolver asked if the old place is taken), copies go to the trash (so an
// undo never destroys data), a new folder is removed while still empty, trashed items are restored.
// What can no longer be undone (the item is gone, the folder filled) is reported in the result's
// reports. The undo job's own UndoInfo redoes a move or rename.
class UndoJob : public FileJob {
  public:
    explicit UndoJob(UndoInfo info, std::string homeTrash = {});
};

}  // namespace kv
