#include "platform/fs/operations/newfilejob.h"

#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/core/paths.h"

namespace kv {

NewFileJob::NewFileJob(std::string parentDir, std::string name)
    : FileJob([parentDir = std::move(parentDir), name = std::move(name)](JobContext& ctx) {
          FsOps& ops = ctx.ops();
          ctx.undo().kind = UndoInfo::Kind::NewFile;
          ctx.setTotals(0, 1);
          if (!paths::isValidName(name)) {
              ctx.askError({parentDir,
                            JobAction::Create,
                            {JobAction::Create, parentDir, EINVAL, JobProblem::InvalidName, name},
                            false});
              return;
          }
          for (;;) {
              ctx.checkpoint();
              NameClashes names(ops);
              auto taken = [&](const std::string& n) { return names.taken(parentDir, n); };
              const std::string chosen = taken(name) ? paths::freeName(name, false, taken) : name;
              const std::string path = paths::join(parentDir, chosen);
              const int fd = ops.createExclusive(path, 0666);
              if (fd >= 0) {
                  const int closed = ops.close(fd);
                  ctx.undo().created.push_back(path);
                  if (closed != 0) ctx.noteSkipped({JobAction::Write, path, -closed});
                  ctx.addItems(1);
                  return;
              }
              if (fd == -EEXIST) continue;  // taken meanwhile: read the folder again
              if (ctx.askError({path, JobAction::Create, {JobAction::Create, path, -fd}, true}) ==
                  ErrorChoice::Skip)
                  return;
          }
      }) {}

}  // namespace kv
