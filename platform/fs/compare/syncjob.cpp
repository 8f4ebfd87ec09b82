#include "platform/fs/compare/syncjob.h"

#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/trash/trashjob.h"

namespace kv {

SyncJob::SyncJob(Plan plan, std::string homeTrash)
    : FileJob([plan = std::move(plan), homeTrash = std::move(homeTrash)](JobContext& ctx) {
          // Undone as a copy is: what was created goes to the trash, what was put aside comes back.
          // The deleted items are put aside like those a Replace answer replaces.
          UndoInfo& undo = ctx.undo();
          undo.kind = UndoInfo::Kind::Copy;
          if (!plan.deletes.empty()) {
              TrashJob::trashAll(ctx, plan.deletes, homeTrash);
              undo.kind = UndoInfo::Kind::Copy;
              undo.replaced = std::move(undo.trashed);
              undo.trashed.clear();
          }
          if (!plan.copies.empty()) {
              Transfer transfer(ctx, TransferMode::Copy);
              transfer.keepReplacedIn(homeTrash);
              transfer.run(plan.copies);
          }
      }) {}

SyncJob::Plan SyncJob::planOf(const std::vector<CompareRow>& rows, const CompareOptions& options) {
    Plan plan;
    for (const CompareRow& row : rows) {
        switch (row.action) {
            case SyncAction::CopyRight:
                if (row.left.present())
                    plan.copies.push_back({row.leftPath(options), row.rightPath(options)});
                break;
            case SyncAction::CopyLeft:
                if (row.right.present())
                    plan.copies.push_back({row.rightPath(options), row.leftPath(options)});
                break;
            case SyncAction::DeleteLeft:
                if (row.left.present()) plan.deletes.push_back(row.leftPath(options));
                break;
            case SyncAction::DeleteRight:
                if (row.right.present()) plan.deletes.push_back(row.rightPath(options));
                break;
            case SyncAction::Nothing:
                break;
        }
    }
    return plan;
}

}  // namespace kv
