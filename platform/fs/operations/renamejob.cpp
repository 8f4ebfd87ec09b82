#include "platform/fs/operations/renamejob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"

namespace kv {

namespace {

bool sameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void renameItem(JobContext& ctx, const std::string& src, const std::string& newName) {
    FsOps& ops = ctx.ops();
    ctx.setTotals(0, 1);
    ctx.setCurrent(src);
    const std::string dir = paths::parentOf(src);
    if (!paths::isValidName(newName)) {
        ctx.askError({src,
                      JobAction::Rename,
                      {JobAction::Rename, src, EINVAL, JobProblem::InvalidName, newName},
                      false});
        return;
    }
    if (newName == paths::baseName(src)) {
        return;
    }
    std::string dest = paths::join(dir, newName);
    bool replace = false;
    std::string replacedOther;
    for (;;) {
        ctx.checkpoint();
        struct stat st {
        }, tst{};
        if (const int r = ops.lstat(src, st); r != 0) {
            if (ctx.askError({src, JobAction::Rename, {JobAction::Rename, src, -r}, true}) ==
                ErrorChoice::Skip) {
                return;
            }
            continue;
        }
        std::string existing;
        bool sameItem = false;
        NameClashes names(ops);
        if (ops.lstat(dest, tst) == 0) {
            existing = dest;
            sameItem = sameInode(st, tst);  // a case change on a filesystem that ignores case
        } else {
            // The item's own old spelling is no clash: that is a change of case.
            while (const std::string* other = names.find(dir, paths::baseName(dest), paths::baseName(src))) {
                const std::string p = paths::join(dir, *other);
                if (ops.lstat(p, tst) == 0) {
                    existing = p;
                    break;
                }
                names.noteRemoved(p);
            }
        }
        if (!existing.empty() && !sameItem && !replace) {
            ClashRequest req = ClashRequest::between(src, st, existing, tst);
            req.caseOnly = existing != dest;
            req.canReplace = !req.sourceIsDir && !req.targetIsDir;
            req.suggestedName =
                paths::freeName(paths::baseName(dest), req.sourceIsDir, [&](const std::string& n) {
                    struct stat s {};
                    return ops.lstat(paths::join(dir, n), s) == 0 || names.taken(dir, n);
                });
            const ClashDecision d = ctx.askClash(req);
            if (d.choice == ClashChoice::Skip) {
                ctx.noteSkipped();
                return;
            }
            if (d.choice == ClashChoice::KeepBoth) {
                dest = paths::join(dir, req.suggestedName);
                continue;
            }
            replace = true;
            replacedOther = req.caseOnly ? existing : std::string();
        }
        const int r = ops.rename(src, dest, !(replace || sameItem));
        if (r == 0) {
            struct stat placed {
            }, other{};
            if (!replacedOther.empty() && ops.lstat(dest, placed) == 0 &&
                ops.lstat(replacedOther, other) == 0 && !sameInode(placed, other)) {
                ops.unlink(replacedOther);
            }
            ctx.undo().moved.emplace_back(src, dest);
            ctx.addItems(1);
            return;
        }
        if (r == -EEXIST) {
            replace = false;
            continue;
        }
        if (ctx.askError({src, JobAction::Rename, {JobAction::Rename, src, -r}, true}) == ErrorChoice::Skip) {
            return;
        }
    }
}

}  // namespace

RenameJob::RenameJob(std::string path, std::string newName)
    : FileJob([path = std::move(path), newName = std::move(newName)](JobContext& ctx) {
          ctx.undo().kind = UndoInfo::Kind::Rename;
          renameItem(ctx, path, newName);
      }) {}

}  // namespace kv
