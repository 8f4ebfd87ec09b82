#include "platform/fs/operations/newfolderjob.h"

#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/core/paths.h"

namespace kv {

NewFolderJob::NewFolderJob(std::string parentDir, std::string name)
    : FileJob([parentDir = std::move(parentDir), name = std::move(name)](JobContext& ctx) {
          FsOps& ops = ctx.ops();
          ctx.undo().kind = UndoInfo::Kind::NewFolder;
          ctx.setTotals(0, 1);
          if (!paths::isValidName(name)) {
              ctx.askError({parentDir,
                            JobAction::CreateFolder,
                            {JobAction::CreateFolder, parentDir, EINVAL, JobProblem::InvalidName, name},
                            false});
              return;
          }
          for (;;) {
              ctx.checkpoint();
              // Read afresh on every try: a name taken meanwhile is why the last one failed.
              NameClashes names(ops);
              auto taken = [&](const std::string& n) { return names.taken(parentDir, n); };
              const std::string chosen = taken(name) ? paths::freeName(name, true, taken) : name;
              const std::string path = paths::join(parentDir, chosen);
              const int r = ops.mkdir(path, 0777);
              if (r == 0) {
                  ctx.undo().created.push_back(path);
                  ctx.addItems(1);
                  return;
              }
              if (r == -EEXIST) {
                  continue;
              }
              if (ctx.askError({path, JobAction::CreateFolder, {JobAction::CreateFolder, path, -r}, true}) ==
                  ErrorChoice::Skip) {
                  return;
              }
          }
      }) {}

}  // namespace kv
