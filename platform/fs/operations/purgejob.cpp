#include "platform/fs/operations/purgejob.h"

#include <set>

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/operations/deletejob.h"

namespace kv {

namespace {

const std::string kPurgeInfoSuffix = ".trashinfo";

bool looksTrashed(FsOps& ops, const TrashedItem& item) {
    // A slip of the caller must not delete anything outside a trash's files/ folder, nor a link put in
    // place of files/ or info/ delete what it leads to.
    const std::string files = paths::parentOf(item.trashedPath);
    const std::string trashDir = paths::parentOf(files);
    return !item.trashedPath.empty() && item.trashedPath.front() == '/' &&
           paths::baseName(files) == "files" &&
           paths::parentOf(item.infoPath) == paths::join(trashDir, "info") &&
           TrashDirs::holdsSafely(ops, trashDir);
}

}  // namespace

PurgeJob::PurgeJob(std::vector<TrashedItem> items)
    : FileJob([items = std::move(items)](JobContext& ctx) { purge(ctx, items); }) {}

PurgeJob::PurgeJob(TrashDirs dirs)
    : FileJob([dirs = std::move(dirs)](JobContext& ctx) {
          std::vector<TrashedItem> items;
          std::vector<std::string> orphans;
          collect(ctx.ops(), dirs, items, orphans);
          purge(ctx, items);
          for (const std::string& info : orphans) ctx.ops().unlink(info);
      }) {}

void PurgeJob::collect(FsOps& ops, const TrashDirs& dirs, std::vector<TrashedItem>& items,
                       std::vector<std::string>& orphanInfos) {
    for (const TrashDirs::Dir& dir : dirs.all(ops)) {
        const std::string files = paths::join(dir.path, "files");
        const std::string info = paths::join(dir.path, "info");
        std::vector<std::string> names;
        ops.listNames(files, names);
        std::set<std::string> listed;
        for (const std::string& n : names) {
            items.push_back({{}, paths::join(files, n), paths::join(info, n + kPurgeInfoSuffix)});
            listed.insert(n + kPurgeInfoSuffix);
        }
        std::vector<std::string> infos;
        ops.listNames(info, infos);
        for (const std::string& n : infos) {
            const bool isInfo =
                n.size() > kPurgeInfoSuffix.size() &&
                n.compare(n.size() - kPurgeInfoSuffix.size(), kPurgeInfoSuffix.size(), kPurgeInfoSuffix) == 0;
            if (isInfo && !listed.count(n)) orphanInfos.push_back(paths::join(info, n));
        }
    }
}

void PurgeJob::purge(JobContext& ctx, const std::vector<TrashedItem>& items) {
    std::uint64_t total = 0;
    for (const TrashedItem& item : items) total += DeleteJob::countItems(ctx.ops(), item.trashedPath);
    ctx.setTotals(0, total);
    for (const TrashedItem& item : items) {
        if (!looksTrashed(ctx.ops(), item)) {
            ctx.noteSkipped({JobAction::Delete, item.trashedPath, 0, JobProblem::Refused});
            continue;
        }
        if (DeleteJob::removeTree(ctx, item.trashedPath)) {
            const int r = ctx.ops().unlink(item.infoPath);
            if (r != 0 && r != -ENOENT) ctx.noteSkipped({JobAction::Delete, item.infoPath, -r});
        }
    }
}

}  // namespace kv
