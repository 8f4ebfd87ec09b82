#include "platform/fs/operations/duplicatejob.h"

#include <sys/stat.h>

#include "platform/fs/core/paths.h"
#include "platform/fs/core/siblingname.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/operations/transfer.h"

namespace kv {

DuplicateJob::DuplicateJob(std::vector<std::string> paths)
    : FileJob([paths = std::move(paths)](JobContext& ctx) {
          FsOps& ops = ctx.ops();
          NameClashes names(ops);
          std::vector<Transfer::Item> items;
          for (const std::string& path : paths) {
              struct stat st {};
              const int r = ops.lstat(path, st);
              if (r != 0) {
                  ctx.noteSkipped({JobAction::Copy, path, -r});
                  continue;
              }
              const std::string dir = paths::parentOf(path);
              auto taken = [&](const std::string& n) { return names.taken(dir, n); };
              const std::string target = paths::join(
                  dir, paths::siblingName(paths::baseName(path), S_ISDIR(st.st_mode), "copy", taken));
              names.noteCreated(target);  // two items of one name cannot pick the same copy name
              items.push_back({path, target});
          }
          // A name taken between now and the copy is a clash the resolver is asked about.
          Transfer(ctx, TransferMode::Copy).run(items);
      }) {}

}  // namespace kv
