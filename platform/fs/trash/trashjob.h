#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

class JobContext;

// Moves items to the trash (Delete key). Undo information: the trashed items, for restoring.
class TrashJob : public FileJob {
  public:
    // homeTrash empty: the user's ($XDG_DATA_HOME/Trash).
    explicit TrashJob(std::vector<std::string> paths, std::string homeTrash = {});

    // The job's work, for jobs that trash as one of their steps.
    static void trashAll(JobContext& ctx, const std::vector<std::string>& paths,
                         const std::string& homeTrash);
};

}  // namespace kv
