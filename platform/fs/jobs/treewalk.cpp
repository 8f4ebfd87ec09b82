#include "platform/fs/jobs/treewalk.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

void TreeWalk::count(const std::string& path, const struct stat& st, bool shallow, std::uint64_t& bytes,
                     std::uint64_t& items) {
    ++items;
    if (shallow) {
        return;
    }
    if (S_ISREG(st.st_mode)) {
        bytes += static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
        m_ctx.checkpoint();
        std::vector<std::string> names;
        m_ctx.ops().listNames(path, names);
        for (const std::string& n : names) {
            struct stat cst {};
            const std::string child = paths::join(path, n);
            if (m_ctx.ops().lstat(child, cst) == 0) {
                count(child, cst, false, bytes, items);
            }
        }
    }
}

bool TreeWalk::lstatOrAsk(const std::string& path, struct stat& st) {
    for (;;) {
        const int r = m_ctx.ops().lstat(path, st);
        if (r == 0) {
            return true;
        }
        ErrorRequest req{path, JobAction::Read, {JobAction::Read, path, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return false;
        }
    }
}

bool TreeWalk::listOrAsk(const std::string& dir, std::vector<std::string>& names) {
    for (;;) {
        names.clear();
        const int r = m_ctx.ops().listNames(dir, names);
        if (r == 0) {
            return true;
        }
        ErrorRequest req{dir, JobAction::Read, {JobAction::ReadFolder, dir, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return false;
        }
    }
}

bool TreeWalk::forEachChild(const std::string& dir, const std::vector<std::string>& names,
                            const Visit& visit) {
    bool all = true;
    for (const std::string& n : names) {
        struct stat cst {};
        const std::string child = paths::join(dir, n);
        if (!lstatOrAsk(child, cst)) {
            all = false;
            continue;
        }
        all = visit(child, n, cst) && all;
    }
    return all;
}

}  // namespace kv
