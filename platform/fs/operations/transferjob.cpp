#include "platform/fs/operations/transferjob.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {

std::vector<Transfer::Item> intoFolder(const std::vector<std::string>& sources,
                                       const std::string& targetDir) {
    std::vector<Transfer::Item> items;
    for (const std::string& s : sources) {
        items.push_back({s, paths::join(targetDir, paths::baseName(s))});
    }
    return items;
}

}  // namespace

TransferJob::TransferJob(TransferMode mode, std::vector<std::string> sources, std::string targetDir,
                         std::optional<std::string> replacedTrash)
    : TransferJob(mode, intoFolder(sources, targetDir), std::move(replacedTrash)) {}

TransferJob::TransferJob(TransferMode mode, std::vector<Transfer::Item> items,
                         std::optional<std::string> replacedTrash)
    : FileJob([mode, items = std::move(items), replacedTrash = std::move(replacedTrash)](JobContext& ctx) {
          Transfer transfer(ctx, mode);
          if (replacedTrash) transfer.keepReplacedIn(*replacedTrash);
          transfer.run(items);
      }) {}

}  // namespace kv
