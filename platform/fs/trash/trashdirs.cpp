#include "platform/fs/trash/trashdirs.h"

#include <unistd.h>
#include <cerrno>
#include <set>
#include <utility>

#include "platform/fs/core/paths.h"
#include "platform/fs/drives/mounts.h"
#include "platform/fs/trash/trash.h"

namespace kv {

namespace {

bool isOwnDir(FsOps& ops, const std::string& path) {
    struct stat st {};
    return ops.lstat(path, st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// files/ and info/ of a trash folder: folders of our own, not links, or not made yet. Through a link
// there the trash would list, restore and empty another folder's files.
bool partsAreOwn(FsOps& ops, const std::string& trashDir) {
    for (const char* part : {"files", "info"}) {
        const std::string path = paths::join(trashDir, part);
        struct stat st {};
        const int r = ops.lstat(path, st);
        if (r == -ENOENT) continue;
        if (r != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    }
    return true;
}

}  // namespace

TrashDirs::TrashDirs(std::string homeTrash, TopDirsFn topDirs)
    : m_home(homeTrash.empty() ? Trash::defaultHomeTrash() : std::move(homeTrash)),
      m_topDirs(std::move(topDirs)) {}

std::vector<std::string> TrashDirs::topDirs() const {
    if (m_topDirs) return m_topDirs();
    std::vector<std::string> out;
    for (const MountEntry& m : Mounts().entries())
        if (!m.isHome) out.push_back(m.root);
    return out;
}

std::vector<TrashDirs::Dir> TrashDirs::home(FsOps& ops) const {
    struct stat st {};
    if (ops.lstat(m_home, st) != 0 || !S_ISDIR(st.st_mode) || !partsAreOwn(ops, m_home)) return {};
    return {{m_home, {}}};
}

std::vector<TrashDirs::Dir> TrashDirs::ofVolume(FsOps& ops, const std::string& top) {
    std::vector<Dir> out;
    const std::string uid = std::to_string(getuid());
    // An administrator's shared .Trash counts only when sticky and no link, so no other user can
    // swap our folder inside it for theirs.
    const std::string shared = paths::join(top, ".Trash");
    struct stat st {};
    if (ops.lstat(shared, st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = paths::join(shared, uid);
        if (isOwnDir(ops, mine) && partsAreOwn(ops, mine)) out.push_back({mine, top});
    }
    const std::string own = paths::join(top, ".Trash-" + uid);
    if (isOwnDir(ops, own) && partsAreOwn(ops, own)) out.push_back({own, top});
    return out;
}

std::vector<TrashDirs::Dir> TrashDirs::all(FsOps& ops) const {
    std::vector<Dir> found = home(ops);
    for (const std::string& top : topDirs())
        for (Dir& d : ofVolume(ops, top)) found.push_back(std::move(d));
    std::vector<Dir> out;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (Dir& d : found) {
        struct stat st {};
        if (ops.stat(d.path, st) == 0 && seen.insert({st.st_dev, st.st_ino}).second)
            out.push_back(std::move(d));
    }
    return out;
}

bool TrashDirs::holdsSafely(FsOps& ops, const std::string& trashDir) {
    struct stat st {};
    return ops.lstat(trashDir, st) == 0 && S_ISDIR(st.st_mode) && partsAreOwn(ops, trashDir);
}

TrashDirs::Dir TrashDirs::dirOf(const std::string& trashDir) const {
    if (trashDir == m_home) return {trashDir, {}};
    const std::string base = paths::baseName(trashDir);
    const std::string parent = paths::parentOf(trashDir);
    if (base.rfind(".Trash-", 0) == 0) return {trashDir, parent};
    if (paths::baseName(parent) == ".Trash") return {trashDir, paths::parentOf(parent)};
    return {trashDir, {}};
}

}  // namespace kv
