#include "platform/fs/pendingdeletes.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "platform/fs/errortext.h"
#include "platform/fs/jobcontext.h"

namespace kv {

namespace {
constexpr size_t kMaxPendingDeletes = 256;

std::string quoted(const std::string& path) {
    return "\xE2\x80\x9C" + path + "\xE2\x80\x9D";
}
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
            m_ctx.noteSkipped("Kept " + quoted(src) + ": its copy could not be flushed to disk.");
            continue;
        }
        if (const int r = m_ctx.ops().unlink(src); r != 0 && r != -ENOENT) {
            m_ctx.noteSkipped("Copied " + quoted(src) + " but could not remove it: " + errorText(-r));
        }
    }
}

}  // namespace kv
