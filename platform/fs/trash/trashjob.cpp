#include "platform/fs/trash/trashjob.h"

#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/trash/trash.h"

namespace kv {

TrashJob::TrashJob(std::vector<std::string> paths, std::string homeTrash)
    : FileJob([paths = std::move(paths), homeTrash = std::move(homeTrash)](JobContext& ctx) {
          ctx.undo().kind = UndoInfo::Kind::Trash;
          trashAll(ctx, paths, homeTrash);
      }) {}

void TrashJob::trashAll(JobContext& ctx, const std::vector<std::string>& paths,
                        const std::string& homeTrash) {
    Trash trash(ctx.ops(), homeTrash);
    ctx.setTotals(0, paths.size());
    for (const std::string& p : paths) {
        ctx.checkpoint();
        ctx.setCurrent(p);
        for (;;) {
            TrashedItem item;
            JobReport report;
            const int r = trash.trash(p, item, report);
            if (r == 0) {
                ctx.undo().trashed.push_back(item);
                break;
            }
            ErrorRequest req{p, JobAction::Trash, report, r != -EPERM && r != -EINVAL};
            if (ctx.askError(req) == ErrorChoice::Skip) {
                break;
            }
        }
        ctx.addItems(1);
    }
}

}  // namespace kv
