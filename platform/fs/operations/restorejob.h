#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/trasheditem.h"

namespace kv {

class JobContext;

// Puts trashed items back where they were, recreating missing parent folders. Each goes back as a
// move does, so a name taken in the meantime is a clash for the resolver (replace, keep both under a
// free name, skip), never replaced silently. An item's .trashinfo is removed once the item has left
// the trash; what stays (skipped, failed, part of a merge) keeps it. No undo.
class RestoreJob : public FileJob {
  public:
    explicit RestoreJob(std::vector<TrashedItem> items);

    static void restoreAll(JobContext& ctx, const std::vector<TrashedItem>& items);
};

}  // namespace kv
