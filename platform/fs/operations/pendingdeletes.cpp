#include "platform/fs/operations/pendingdeletes.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {
constexpr size_t kMaxPendingDeletes = 256;

}  // namespace

void PendingDeletes::add(std::string targetDir, std::string source) {
    m_pending.emplace_back(std::move(targetDir), std::move(source));
    if (m_pending.size() >= kMaxPendingDeletes) {
        flush();
    }
}

void PendingDeletes::flush() {
    if (m_pending.empty()) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> pending;
    pending.swap(m_pending);
    std::vector<std::string> dirs;
    for (const auto& p : pending) {
        dirs.push_back(p.first);
    }
    std::sort(dirs.begin(), dirs.end());
    dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
    std::unordered_set<std::string> unsynced;
    for (const std::string& d : dirs) {
        if (m_ctx.ops().fsyncPath(d) != 0) {
            unsynced.insert(d);
        }
    }
    for (const auto& [dir, src] : pending) {
        if (unsynced.count(dir)) {
            m_ctx.noteSkipped({JobAction::RemoveSource, src, 0, JobProblem::NotFlushed});
            continue;
        }
        if (const int r = m_ctx.ops().unlink(src); r != 0 && r != -ENOENT) {
            m_ctx.noteSkipped({JobAction::RemoveSource, src, -r});
        }
    }
}

}  // namespace kv
