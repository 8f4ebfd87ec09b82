#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// Renames many items, each within its folder, as one job (one undo). A new name another item of the
// batch still has waits until that item has left it, and a ring of them (a swap, a→b→c→a) goes
// through a temporary name, so chains and swaps succeed. A name taken by something else is never
// replaced: that item is left as it was, as is one whose rename fails (after the error's question),
// and so are the items waiting for its name. No item is left under a temporary name unless both its
// new and its old name were taken meanwhile (then the report names it).
// Undo information (RenameMany): (old path, path now) of each item that moved; undone by renaming them
// back the same way, rings and all.
class BatchRenameJob : public FileJob {
  public:
    // (path, new name) pairs; a pair whose name is the old one is left alone.
    explicit BatchRenameJob(std::vector<std::pair<std::string, std::string>> renames);

    // The job's work, for a job that renames as part of its own (the undo of one).
    static void renameAll(JobContext& ctx, const std::vector<std::pair<std::string, std::string>>& renames);
};

}  // namespace kv
