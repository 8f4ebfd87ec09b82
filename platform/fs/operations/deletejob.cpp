#include "platform/fs/operations/deletejob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

std::uint64_t DeleteJob::countItems(FsOps& ops, const std::string& path) {
    struct stat st {};
    if (ops.lstat(path, st) != 0 || !S_ISDIR(st.st_mode)) {
        return 1;
    }
    std::vector<std::string> names;
    ops.listNames(path, names);
    std::uint64_t n = 1;
    for (const std::string& name : names) {
        n += countItems(ops, paths::join(path, name));
    }
    return n;
}

bool DeleteJob::removeTree(JobContext& ctx, const std::string& path) {
    FsOps& ops = ctx.ops();
    ctx.checkpoint();
    ctx.setCurrent(path);
    for (;;) {
        struct stat st {};
        int r = ops.lstat(path, st);
        if (r == -ENOENT) {
            ctx.addItems(1);
            return true;
        }
        if (r == 0 && S_ISDIR(st.st_mode)) {
            std::vector<std::string> names;
            r = ops.listNames(path, names);
            if (r == 0) {
                bool all = true;
                for (const std::string& n : names) {
                    all = removeTree(ctx, paths::join(path, n)) && all;
                }
                if (!all) {
                    ctx.addItems(1);
                    return false;  // what was skipped inside keeps its folder
                }
                r = ops.rmdir(path);
            }
        } else if (r == 0) {
            r = ops.unlink(path);
        }
        if (r == 0) {
            ctx.addItems(1);
            return true;
        }
        ErrorRequest req{path, JobAction::Delete, {JobAction::Delete, path, -r}, true};
        if (ctx.askError(req) == ErrorChoice::Skip) {
            ctx.addItems(1);
            return false;
        }
    }
}

DeleteJob::DeleteJob(std::vector<std::string> paths)
    : FileJob([paths = std::move(paths)](JobContext& ctx) {
          std::uint64_t total = 0;
          for (const std::string& p : paths) {
              total += countItems(ctx.ops(), p);
          }
          ctx.setTotals(0, total);
          for (const std::string& p : paths) {
              // A slip of the caller must not wipe a whole tree.
              if (p.empty() || p[0] != '/' || paths::parentOf(p) == p) {
                  ctx.noteSkipped({JobAction::Delete, p, 0, JobProblem::Refused});
                  continue;
              }
              removeTree(ctx, p);
          }
      }) {}

}  // namespace kv
