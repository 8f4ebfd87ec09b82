#include "platform/fs/operations/newitemjob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"

namespace kv {

namespace {

// Creates the item at path: 0, or the negative errno. A file's failure to close is left in closeError
// (negative errno): the file is there all the same.
int create(FsOps& ops, NewItemJob::Kind kind, const std::string& path, int& closeError) {
    if (kind == NewItemJob::Kind::Folder) return ops.mkdir(path, 0777);
    const int fd = ops.createExclusive(path, 0666);
    if (fd < 0) return fd;
    closeError = ops.close(fd);
    return 0;
}

}  // namespace

NewItemJob::NewItemJob(Kind kind, std::string parentDir, std::string name)
    : FileJob([kind, parentDir = std::move(parentDir), name = std::move(name)](JobContext& ctx) {
          const bool folder = kind == Kind::Folder;
          const JobAction action = folder ? JobAction::CreateFolder : JobAction::Create;
          FsOps& ops = ctx.ops();
          ctx.undo().kind = folder ? UndoInfo::Kind::NewFolder : UndoInfo::Kind::NewFile;
          ctx.setTotals(0, 1);
          if (!paths::isValidName(name)) {
              ctx.askError(
                  {parentDir, action, {action, parentDir, EINVAL, JobProblem::InvalidName, name}, false});
              return;
          }
          for (;;) {
              ctx.checkpoint();
              // Read afresh on every try: a name taken meanwhile is why the last one failed.
              NameClashes names(ops);
              auto taken = [&](const std::string& n) { return names.taken(parentDir, n); };
              const std::string chosen = taken(name) ? paths::freeName(name, folder, taken) : name;
              const std::string path = paths::join(parentDir, chosen);
              int closeError = 0;
              const int r = create(ops, kind, path, closeError);
              if (r == 0) {
                  ctx.undo().created.push_back(path);
                  if (closeError != 0) ctx.noteSkipped({JobAction::Write, path, -closeError});
                  ctx.addItems(1);
                  return;
              }
              if (r == -EEXIST) continue;  // taken meanwhile: read the folder again
              if (ctx.askError({path, action, {action, path, -r}, true}) == ErrorChoice::Skip) return;
          }
      }) {}

}  // namespace kv
