#include "platform/fs/remote/remotejobs.h"

#include <algorithm>

#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/remote/remotecalls.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/remote/remotepaths.h"
#include "platform/fs/remote/remotetransfer.h"

namespace kv {

namespace {

std::vector<Transfer::Item> intoFolder(const std::vector<std::string>& sources,
                                       const std::string& targetDir) {
    std::vector<Transfer::Item> items;
    for (const std::string& s : sources)
        items.push_back({s, remotepaths::join(targetDir, remotepaths::baseName(s))});
    return items;
}

}  // namespace

bool anyOnServer(const std::vector<std::string>& paths) {
    return std::any_of(paths.begin(), paths.end(),
                       [](const std::string& p) { return RemoteLocation::is(p); });
}

RemoteTransferJob::RemoteTransferJob(TransferMode mode, std::vector<std::string> sources,
                                     std::string targetDir)
    : RemoteTransferJob(mode, intoFolder(sources, targetDir)) {}

RemoteTransferJob::RemoteTransferJob(TransferMode mode, std::vector<Transfer::Item> items)
    : FileJob([mode, items = std::move(items)](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { RemoteTransfer(calls, mode).run(items); });
      }) {}

}  // namespace kv
