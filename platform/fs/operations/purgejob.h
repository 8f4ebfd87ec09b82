#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/trasheditem.h"
#include "platform/fs/trash/trashdirs.h"

namespace kv {

class JobContext;

// Deletes trashed items for good (after the UI's confirmation): each item as DeleteJob deletes, then
// its .trashinfo, only once the item is gone, so a crash or a failure in between never leaves an item
// that no trash knows about. No undo.
class PurgeJob : public FileJob {
  public:
    explicit PurgeJob(std::vector<TrashedItem> items);
    // Empties the trash: every item of every trash folder the dirs find, and the .trashinfo files
    // left without an item.
    explicit PurgeJob(TrashDirs dirs);

    static void purge(JobContext& ctx, const std::vector<TrashedItem>& items);
    // What emptying removes, in the order it removes it: the items, then their info files.
    static void collect(FsOps& ops, const TrashDirs& dirs, std::vector<TrashedItem>& items,
                        std::vector<std::string>& orphanInfos);
};

}  // namespace kv
