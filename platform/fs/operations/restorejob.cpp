#include "platform/fs/operations/restorejob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/operations/transfer.h"

namespace kv {

namespace {

int ensureDir(FsOps& ops, const std::string& path) {
    struct stat st {};
    if (ops.stat(path, st) == 0) return S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
    const std::string parent = paths::parentOf(path);
    if (parent != path) {
        if (const int r = ensureDir(ops, parent); r != 0) return r;
    }
    const int r = ops.mkdir(path, 0777);
    return r == -EEXIST ? 0 : r;
}

bool inTrash(FsOps& ops, const TrashedItem& item) {
    struct stat st {};
    return ops.lstat(item.trashedPath, st) == 0;
}

// The items that have left the trash lose their .trashinfo, so no trash lists them any more.
void forgetRestored(FsOps& ops, const std::vector<const TrashedItem*>& moving) {
    for (const TrashedItem* item : moving)
        if (!inTrash(ops, *item)) ops.unlink(item->infoPath);
}

}  // namespace

RestoreJob::RestoreJob(std::vector<TrashedItem> items)
    : FileJob([items = std::move(items)](JobContext& ctx) { restoreAll(ctx, items); }) {}

void RestoreJob::restoreAll(JobContext& ctx, const std::vector<TrashedItem>& items) {
    FsOps& ops = ctx.ops();
    std::vector<Transfer::Item> moves;
    std::vector<const TrashedItem*> moving;
    for (const TrashedItem& item : items) {
        ctx.checkpoint();
        if (item.originalPath.empty() || item.originalPath.front() != '/') {
            ctx.noteSkipped({JobAction::Restore, item.trashedPath, 0, JobProblem::NoOrigin});
            continue;
        }
        if (!inTrash(ops, item)) {
            ctx.noteSkipped({JobAction::Restore, item.originalPath, ENOENT, JobProblem::NotInTrash});
            continue;
        }
        const std::string parent = paths::parentOf(item.originalPath);
        int r = 0;
        for (;;) {
            r = ensureDir(ops, parent);
            if (r == 0) break;
            const ErrorRequest req{parent, JobAction::Restore, {JobAction::CreateFolder, parent, -r}, true};
            if (ctx.askError(req) == ErrorChoice::Skip) break;
        }
        if (r != 0) continue;
        moves.push_back({item.trashedPath, item.originalPath});
        moving.push_back(&item);
    }
    // Moved back as any move is: its clash questions, its errors, its care with a copy across volumes.
    Transfer transfer(ctx, TransferMode::Move);
    try {
        transfer.run(moves);
    } catch (const JobCancelled&) {
        forgetRestored(ops, moving);
        throw;
    }
    forgetRestored(ops, moving);
    ctx.undo() = {};
}

}  // namespace kv
