#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Deletes items for good (Shift+Delete, after the UI's confirmation). Folders are emptied depth
// first without following symlinks, so a link to a folder deletes the link, never what it points
// to. No undo.
class DeleteJob : public FileJob {
  public:
    explicit DeleteJob(std::vector<std::string> paths);

    // The job's steps, for jobs that delete as part of their work: how many items a tree holds (for
    // the totals), and removing one tree, asking on an error; true when the path is gone.
    static std::uint64_t countItems(FsOps& ops, const std::string& path);
    static bool removeTree(JobContext& ctx, const std::string& path);
};

}  // namespace kv
