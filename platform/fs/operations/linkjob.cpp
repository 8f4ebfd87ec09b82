#include "platform/fs/operations/linkjob.h"

#include <sys/stat.h>

#include "platform/fs/core/paths.h"
#include "platform/fs/core/siblingname.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"

namespace kv {

LinkJob::LinkJob(std::vector<std::string> paths, std::optional<std::string> into)
    : FileJob([paths = std::move(paths), into = std::move(into)](JobContext& ctx) {
          FsOps& ops = ctx.ops();
          ctx.undo().kind = UndoInfo::Kind::Link;
          ctx.setTotals(0, paths.size());
          NameClashes names(ops);
          for (const std::string& path : paths) {
              ctx.checkpoint();
              ctx.setCurrent(path);
              const std::string dir = into ? *into : paths::parentOf(path);
              const std::string name = paths::baseName(path);
              // Beside the item, the link holds its name only, so it keeps working when the folder moves.
              const std::string target = into ? path : name;
              for (;;) {
                  struct stat st {};
                  int r = ops.lstat(path, st);
                  if (r == 0) {
                      auto taken = [&](const std::string& n) { return names.taken(dir, n); };
                      const std::string link = paths::join(
                          dir, into && !taken(name)
                                   ? name
                                   : paths::siblingName(name, S_ISDIR(st.st_mode), "link", taken));
                      r = ops.symlink(target, link);
                      if (r == 0) {
                          names.noteCreated(link);
                          ctx.undo().created.push_back(link);
                          break;
                      }
                      if (r == -EEXIST) {
                          names.noteCreated(link);  // made by someone else meanwhile: the next name
                          continue;
                      }
                  }
                  if (ctx.askError({path, JobAction::Create, {JobAction::Create, path, -r}, true}) ==
                      ErrorChoice::Skip)
                      break;
              }
              ctx.addItems(1);
          }
      }) {}

}  // namespace kv
