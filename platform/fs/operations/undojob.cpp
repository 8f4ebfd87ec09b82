#include "platform/fs/operations/undojob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/operations/batchrenamejob.h"
#include "platform/fs/operations/transfer.h"
#include "platform/fs/trash/trash.h"
#include "platform/fs/trash/trashjob.h"

namespace kv {

namespace {

bool exists(FsOps& ops, const std::string& path) {
    struct stat st {};
    return ops.lstat(path, st) == 0;
}

// A merge moved the folder's contents and removed the emptied folder: moving them back needs it.
void makeParents(JobContext& ctx, const std::string& path) {
    FsOps& ops = ctx.ops();
    const std::string dir = paths::parentOf(path);
    if (dir == path || exists(ops, dir)) return;
    makeParents(ctx, dir);
    if (const int r = ops.mkdir(dir, 0777); r != 0 && r != -EEXIST)
        ctx.noteSkipped({JobAction::CreateFolder, dir, -r});
}

// What a Replace answer put in the trash goes back once the items that took its place have left.
void restoreReplaced(JobContext& ctx, const UndoInfo& info, const std::string& homeTrash) {
    Trash trash(ctx.ops(), homeTrash);
    for (auto it = info.replaced.rbegin(); it != info.replaced.rend(); ++it) {
        JobReport report;
        if (trash.restore(*it, report) != 0) ctx.noteSkipped(std::move(report));
    }
}

void undo(JobContext& ctx, const UndoInfo& info, const std::string& homeTrash) {
    FsOps& ops = ctx.ops();
    switch (info.kind) {
        case UndoInfo::Kind::None:
            return;
        case UndoInfo::Kind::RenameMany: {
            // Back the way they came: the renames may form rings only a batch can undo.
            std::vector<std::pair<std::string, std::string>> back;
            for (const auto& [from, to] : info.moved) {
                if (exists(ops, to))
                    back.emplace_back(to, paths::baseName(from));
                else
                    ctx.noteSkipped({JobAction::Undo, to, ENOENT, JobProblem::Gone});
            }
            BatchRenameJob::renameAll(ctx, back);
            return;
        }
        case UndoInfo::Kind::Rename:
        case UndoInfo::Kind::Move: {
            std::vector<Transfer::Item> back;
            for (auto it = info.moved.rbegin(); it != info.moved.rend(); ++it) {
                if (exists(ops, it->second)) {
                    makeParents(ctx, it->first);
                    back.push_back({it->second, it->first});
                } else {
                    ctx.noteSkipped({JobAction::Undo, it->second, ENOENT, JobProblem::Gone});
                }
            }
            Transfer transfer(ctx, TransferMode::Move);
            transfer.keepReplacedIn(homeTrash);
            transfer.run(back);
            ctx.undo().kind = info.kind;
            restoreReplaced(ctx, info, homeTrash);
            return;
        }
        case UndoInfo::Kind::Copy:
        case UndoInfo::Kind::Extract:
        case UndoInfo::Kind::Compress:
        case UndoInfo::Kind::NewFile:
        case UndoInfo::Kind::Download:
        case UndoInfo::Kind::Link: {
            std::vector<std::string> present;
            for (const std::string& p : info.created) {
                if (exists(ops, p)) {
                    present.push_back(p);
                } else {
                    ctx.noteSkipped({JobAction::Undo, p, ENOENT, JobProblem::Gone});
                }
            }
            ctx.undo().kind = UndoInfo::Kind::Trash;
            TrashJob::trashAll(ctx, present, homeTrash);
            restoreReplaced(ctx, info, homeTrash);
            return;
        }
        case UndoInfo::Kind::NewFolder:
            for (const std::string& p : info.created) {
                const int r = ops.rmdir(p);
                if (r == -ENOTEMPTY || r == -EEXIST) {
                    ctx.noteSkipped({JobAction::Undo, p, -r, JobProblem::NotEmpty});
                } else if (r != 0) {
                    ctx.noteSkipped({JobAction::Undo, p, -r});
                }
            }
            return;
        case UndoInfo::Kind::Trash: {
            Trash trash(ops, homeTrash);
            ctx.setTotals(0, info.trashed.size());
            for (auto it = info.trashed.rbegin(); it != info.trashed.rend(); ++it) {
                ctx.checkpoint();
                JobReport report;
                if (trash.restore(*it, report) != 0) {
                    ctx.noteSkipped(std::move(report));
                }
                ctx.addItems(1);
            }
            return;
        }
    }
}

}  // namespace

UndoJob::UndoJob(UndoInfo info, std::string homeTrash)
    : FileJob([info = std::move(info), homeTrash = std::move(homeTrash)](JobContext& ctx) {
          undo(ctx, info, homeTrash);
      }) {}

}  // namespace kv
