#include "platform/fs/transfer.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <random>

#include "platform/fs/errortext.h"
#include "platform/fs/jobcancelled.h"
#include "platform/fs/jobcontext.h"
#include "platform/fs/paths.h"
#include "platform/fs/sortkey.h"

namespace kv {

namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr size_t kRangeChunk = 8 << 20;
constexpr size_t kMaxPendingDeletes = 256;

std::string quoted(const std::string& path) {
    return "\xE2\x80\x9C" + path + "\xE2\x80\x9D";
}

// Removes a temporary file unless it was placed; also closes descriptors on every way out, so a
// cancel (thrown) or an error leaves no partial file behind.
class TempGuard {
  public:
    explicit TempGuard(FsOps& ops) : m_ops(ops) {}
    ~TempGuard() {
        closeFds();
        if (!m_path.empty()) {
            m_ops.unlink(m_path);
        }
    }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    void setPath(std::string p) { m_path = std::move(p); }
    void release() { m_path.clear(); }
    void discard() {
        closeFds();
        if (!m_path.empty()) {
            m_ops.unlink(m_path);
            m_path.clear();
        }
    }
    void closeFds() {
        if (in >= 0) {
            m_ops.close(in);
        }
        if (out >= 0) {
            m_ops.close(out);
        }
        in = out = -1;
    }
    int in = -1;
    int out = -1;

  private:
    FsOps& m_ops;
    std::string m_path;
};

bool fallbackError(int err) {
    return err == -EXDEV || err == -EINVAL || err == -ENOSYS || err == -EOPNOTSUPP || err == -ENOTTY ||
           err == -EBADF || err == -EPERM;
}

}  // namespace

struct Transfer::Dest {
    std::string path;
    bool replace = false;  // the user agreed to replace what has this name
    bool merge = false;    // copy into the existing folder at path
    std::string existing;  // a case-only clash the user agreed to replace: removed after placing
};

Transfer::Transfer(JobContext& ctx, TransferMode mode)
    : m_ctx(ctx), m_mode(mode), m_isRoot(geteuid() == 0), m_buffer(new char[kBufferSize]) {}

Transfer::~Transfer() = default;

void Transfer::run(const std::vector<Item>& items) {
    m_ctx.undo().kind = m_mode == TransferMode::Copy ? UndoInfo::Kind::Copy : UndoInfo::Kind::Move;
    std::uint64_t bytes = 0, count = 0;
    for (const Item& item : items) {
        struct stat st {
        }, tst{};
        if (m_ctx.ops().lstat(item.source, st) != 0) {
            ++count;
            continue;
        }
        const bool sameFs = m_mode == TransferMode::Move &&
                            m_ctx.ops().stat(paths::parentOf(item.target), tst) == 0 &&
                            tst.st_dev == st.st_dev;
        countTree(item.source, st, sameFs, bytes, count);
    }
    m_ctx.setTotals(bytes, count);
    try {
        for (const Item& item : items) {
            m_ctx.checkpoint();
            transferTop(item);
        }
    } catch (const JobCancelled&) {
        // Copies that completed are whole and may release their sources; the rest keep theirs.
        flushDeletes();
        throw;
    }
    flushDeletes();
}

void Transfer::countTree(const std::string& path, const struct stat& st, bool sameFs, std::uint64_t& bytes,
                         std::uint64_t& items) {
    ++items;
    if (sameFs) {
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
                countTree(child, cst, false, bytes, items);
            }
        }
    }
}

bool Transfer::lstatOrAsk(const std::string& path, struct stat& st) {
    for (;;) {
        const int r = m_ctx.ops().lstat(path, st);
        if (r == 0) {
            return true;
        }
        ErrorRequest req{path, "read", "Cannot read " + quoted(path) + ": " + errorText(-r), -r, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return false;
        }
    }
}

void Transfer::transferTop(const Item& item) {
    struct stat st {};
    if (!lstatOrAsk(item.source, st)) {
        m_ctx.addItems(1);
        return;
    }
    const std::string targetDir = paths::parentOf(item.target);
    if (S_ISDIR(st.st_mode)) {
        std::string srcReal, dirReal;
        const int r1 = m_ctx.ops().realPath(item.source, srcReal);
        const int r2 = m_ctx.ops().realPath(targetDir, dirReal);
        if (r1 == 0 && r2 == 0 && paths::isSameOrInside(dirReal, srcReal)) {
            // Copying a folder into itself would never end and moving it there would detach it.
            const std::string verb = m_mode == TransferMode::Move ? "move" : "copy";
            ErrorRequest req{item.source, verb,
                             "Cannot " + verb + " the folder " + quoted(paths::baseName(item.source)) +
                                 " into itself: the target folder " + quoted(targetDir) + " is inside it.",
                             0, false};
            m_ctx.askError(req);
            m_ctx.addItems(1);
            return;
        }
    }
    if (m_mode == TransferMode::Move) {
        struct stat tst {};
        if (m_ctx.ops().stat(targetDir, tst) == 0 && tst.st_dev == st.st_dev) {
            moveByRename(item.source, item.target, st);
            return;
        }
    }
    copyItem(item.source, item.target, st);
}

const std::string* Transfer::caseClash(const std::string& dir, const std::string& name) {
    auto it = m_folded.find(dir);
    if (it == m_folded.end()) {
        std::vector<std::string> names;
        m_ctx.ops().listNames(dir, names);
        auto& map = m_folded[dir];
        for (std::string& n : names) {
            map.emplace(SortKey::fold(n), std::move(n));
        }
        it = m_folded.find(dir);
    }
    auto f = it->second.find(SortKey::fold(name));
    return f == it->second.end() ? nullptr : &f->second;
}

void Transfer::noteCreated(const std::string& path, bool isDir) {
    const std::string dir = paths::parentOf(path);
    const std::string name = paths::baseName(path);
    if (auto it = m_folded.find(dir); it != m_folded.end()) {
        it->second.emplace(SortKey::fold(name), name);
    }
    if (isDir) {
        m_folded[path];  // a folder we just made is empty: no listing needed later
        m_createdDirs.insert(path);
    }
}

void Transfer::noteRemoved(const std::string& path) {
    if (auto it = m_folded.find(paths::parentOf(path)); it != m_folded.end()) {
        it->second.erase(SortKey::fold(paths::baseName(path)));
    }
}

bool Transfer::resolveDest(const std::string& src, const struct stat& st, Dest& dest) {
    for (;;) {
        const std::string dir = paths::parentOf(dest.path);
        const std::string name = paths::baseName(dest.path);
        struct stat tst {};
        std::string existing;
        if (m_ctx.ops().lstat(dest.path, tst) == 0) {
            existing = dest.path;
        } else if (const std::string* other = caseClash(dir, name)) {
            existing = paths::join(dir, *other);
            if (m_ctx.ops().lstat(existing, tst) != 0) {
                noteRemoved(existing);  // gone since the folder was read
                continue;
            }
        } else {
            return true;
        }
        auto taken = [&](const std::string& n) {
            struct stat s {};
            return m_ctx.ops().lstat(paths::join(dir, n), s) == 0 || caseClash(dir, n) != nullptr;
        };
        if (tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
            if (existing == src && existing != dest.path) {
                return true;  // only the source itself differs in case: a case change, no clash
            }
            if (m_mode == TransferMode::Move && paths::parentOf(existing) == paths::parentOf(src)) {
                // A filesystem that ignores case found the source under the new spelling: renaming
                // over it changes the case and replaces nothing else.
                dest.replace = true;
                return true;
            }
            if (m_mode == TransferMode::Move) {
                return false;  // already where it should go: nothing to do, nothing to lose
            }
            // A copy onto itself can only mean a second copy beside it.
            dest.path = paths::join(dir, paths::freeName(name, S_ISDIR(st.st_mode), taken));
            continue;
        }
        ClashRequest req = ClashRequest::between(src, st, existing, tst);
        req.caseOnly = existing != dest.path;
        req.canReplace = req.sourceIsDir == req.targetIsDir;
        req.suggestedName = paths::freeName(name, req.sourceIsDir, taken);
        const ClashDecision d = m_ctx.askClash(req);
        switch (d.choice) {
            case ClashChoice::Skip:
            case ClashChoice::Cancel:
                m_ctx.noteSkipped({});
                return false;
            case ClashChoice::KeepBoth:
                dest.path = paths::join(dir, req.suggestedName);
                dest.replace = false;
                continue;
            case ClashChoice::Replace:
                if (req.merge()) {
                    dest.path = existing;
                    dest.merge = true;
                } else {
                    dest.replace = true;
                    dest.existing = req.caseOnly ? existing : std::string();
                }
                return true;
        }
    }
}

void Transfer::recordUndo(const std::string& src, const std::string& dest) {
    // Only the top-most items: undoing a folder undoes what is inside it.
    if (m_createdDirs.count(paths::parentOf(dest))) {
        return;
    }
    if (m_mode == TransferMode::Move) {
        m_ctx.undo().moved.emplace_back(src, dest);
    } else {
        m_ctx.undo().created.push_back(dest);
    }
}

bool Transfer::moveByRename(const std::string& src, const std::string& target, const struct stat& st) {
    m_ctx.checkpoint();
    m_ctx.setCurrent(src);
    Dest dest;
    dest.path = target;
    if (!resolveDest(src, st, dest)) {
        m_ctx.addItems(1);
        return false;
    }
    if (dest.merge) {
        std::vector<std::string> names;
        if (const int r = m_ctx.ops().listNames(src, names); r != 0) {
            m_ctx.noteSkipped("Cannot read the folder " + quoted(src) + ": " + errorText(-r));
            return false;
        }
        bool all = true;
        for (const std::string& n : names) {
            struct stat cst {};
            const std::string child = paths::join(src, n);
            all = lstatOrAsk(child, cst) && moveByRename(child, paths::join(dest.path, n), cst) && all;
        }
        m_ctx.addItems(1);
        if (all) {
            m_ctx.ops().rmdir(src);  // left alone if something new appeared in it
        }
        return all;
    }
    for (;;) {
        // After a Replace answer the rename replaces atomically: the old item stays whole until the
        // new one takes its name.
        const int r = m_ctx.ops().rename(src, dest.path, !dest.replace);
        if (r == 0) {
            removeReplaced(dest);
            noteCreated(dest.path, false);
            recordUndo(src, dest.path);
            m_ctx.addItems(1);
            return true;
        }
        if (r == -EEXIST || r == -ENOTEMPTY) {
            if (!resolveDest(src, st, dest)) {
                m_ctx.addItems(1);
                return false;
            }
            if (dest.merge) {
                return moveByRename(src, dest.path, st);
            }
            continue;
        }
        if (r == -EXDEV) {
            return copyItem(src, target, st);  // one device, two mounts (a bind mount)
        }
        ErrorRequest req{src, "move", "Cannot move " + quoted(src) + ": " + errorText(-r), -r, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            return false;
        }
    }
}

bool Transfer::copyItem(const std::string& src, const std::string& target, const struct stat& st) {
    m_ctx.checkpoint();
    m_ctx.setCurrent(src);
    Dest dest;
    dest.path = target;
    if (!resolveDest(src, st, dest)) {
        m_ctx.addItems(1);
        if (S_ISREG(st.st_mode)) {
            m_ctx.addBytes(st.st_size);
        }
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        return copyDir(src, dest, st);
    }
    if (S_ISREG(st.st_mode)) {
        return copyFile(src, dest, st);
    }
    return copyOther(src, dest, st);
}

bool Transfer::copyDir(const std::string& src, Dest& dest, const struct stat& st) {
    FsOps& ops = m_ctx.ops();
    bool created = false;
    while (!dest.merge) {
        // Owner-only until the contents are in, so nobody works in a half-copied folder.
        const int r = ops.mkdir(dest.path, 0700);
        if (r == 0) {
            created = true;
            noteCreated(dest.path, true);
            break;
        }
        if (r == -EEXIST) {
            if (!resolveDest(src, st, dest)) {
                m_ctx.addItems(1);
                return false;
            }
            continue;
        }
        ErrorRequest req{dest.path, "create",
                         "Cannot create the folder " + quoted(dest.path) + ": " + errorText(-r), -r, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            return false;
        }
    }
    std::vector<std::string> names;
    for (;;) {
        names.clear();
        const int r = ops.listNames(src, names);
        if (r == 0) {
            break;
        }
        ErrorRequest req{src, "read", "Cannot read the folder " + quoted(src) + ": " + errorText(-r), -r,
                         true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            if (created) {
                ops.rmdir(dest.path);
                noteRemoved(dest.path);
            }
            return false;
        }
    }
    if (created) {
        recordUndo(src, dest.path);
    }
    bool all = true;
    for (const std::string& n : names) {
        struct stat cst {};
        const std::string child = paths::join(src, n);
        if (!lstatOrAsk(child, cst)) {
            all = false;
            continue;
        }
        all = copyItem(child, paths::join(dest.path, n), cst) && all;
    }
    if (created) {
        if (m_isRoot) {
            ops.lchown(dest.path, st.st_uid, st.st_gid);
        }
        // Times last: creating the children changed them.
        ops.chmod(dest.path, st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ops.setTimes(dest.path, times);
    }
    m_ctx.addItems(1);
    if (m_mode == TransferMode::Move) {
        flushDeletes();
        if (all && ops.rmdir(src) != 0) {
            all = false;
        }
    }
    return all;
}

std::string Transfer::tempNameIn(const std::string& dir) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char buf[32];
    std::snprintf(buf, sizeof buf, ".kv-%012llx.part",
                  static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFull));
    return paths::join(dir, buf);
}

int Transfer::copyData(int in, int out, const struct stat& st, std::uint64_t& copied) {
    FsOps& ops = m_ctx.ops();
    copied = 0;
    if (m_tryClone && st.st_size > 0) {
        const int r = ops.cloneFile(in, out);
        if (r == 0) {
            copied = static_cast<std::uint64_t>(st.st_size);
            m_ctx.addBytes(st.st_size);
            // The clone took the file as it was; if it has grown since the stat, the size check
            // below sends the file round again.
            return 0;
        }
        if (!fallbackError(r)) {
            return r;
        }
        m_tryClone = false;
    }
    if (m_tryCopyRange) {
        for (;;) {
            const ssize_t n = ops.copyRange(in, out, kRangeChunk);
            if (n > 0) {
                copied += static_cast<std::uint64_t>(n);
                m_ctx.addBytes(n);
                m_ctx.checkpoint();
                continue;
            }
            if (n == 0) {
                return 0;
            }
            if (copied == 0 && fallbackError(static_cast<int>(n))) {
                m_tryCopyRange = false;
                break;
            }
            return static_cast<int>(n);
        }
    }
    for (;;) {
        const ssize_t n = ops.read(in, m_buffer.get(), kBufferSize);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (n == -EINTR) {
                continue;
            }
            return static_cast<int>(n);
        }
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ops.write(out, m_buffer.get() + off, static_cast<size_t>(n - off));
            if (w < 0) {
                if (w == -EINTR) {
                    continue;
                }
                return static_cast<int>(w);
            }
            if (w == 0) {
                return -ENOSPC;
            }
            off += w;
        }
        copied += static_cast<std::uint64_t>(n);
        m_ctx.addBytes(n);
        m_ctx.checkpoint();
    }
}

bool Transfer::copyFile(const std::string& src, Dest& dest, const struct stat& st) {
    FsOps& ops = m_ctx.ops();
    const std::string dir = paths::parentOf(dest.path);
    for (;;) {
        TempGuard guard(ops);
        std::string failure;
        int err = 0;
        std::uint64_t copied = 0;
        guard.in = ops.openRead(src);
        if (guard.in < 0) {
            err = -guard.in;
            guard.in = -1;
            failure = "Cannot read " + quoted(src) + ": " + errorText(err);
        } else {
            const std::string tmp = tempNameIn(dir);
            guard.out = ops.createExclusive(tmp, 0600);
            if (guard.out < 0) {
                err = -guard.out;
                guard.out = -1;
                failure = "Cannot write into " + quoted(dir) + ": " + errorText(err);
            } else {
                guard.setPath(tmp);
                struct stat now {};
                if (const int r = copyData(guard.in, guard.out, st, copied); r != 0) {
                    err = -r;
                    failure = "Cannot copy " + quoted(src) + ": " + errorText(err);
                } else if (ops.fstat(guard.in, now) != 0 ||
                           static_cast<std::uint64_t>(now.st_size) != copied) {
                    err = 0;
                    failure = "The file " + quoted(src) + " changed while it was being copied.";
                } else {
                    if (m_isRoot) {
                        ops.fchown(guard.out, st.st_uid, st.st_gid);
                    }
                    ops.fchmod(guard.out, st.st_mode & 07777);
                    const struct timespec times[2] = {st.st_atim, st.st_mtim};
                    ops.futimens(guard.out, times);
                    struct stat written {};
                    int r = 0;
                    if (m_mode == TransferMode::Move && (r = ops.fsync(guard.out)) != 0) {
                        err = -r;
                        failure = "Cannot write " + quoted(dest.path) + " to disk: " + errorText(err);
                    } else if ((r = ops.fstat(guard.out, written)) != 0 ||
                               static_cast<std::uint64_t>(written.st_size) != copied) {
                        err = r ? -r : EIO;
                        failure = "The copy of " + quoted(src) + " is incomplete.";
                    } else {
                        // Delayed write errors of network filesystems show up at close.
                        r = ops.close(guard.out);
                        guard.out = -1;
                        if (r != 0) {
                            err = -r;
                            failure = "Cannot write " + quoted(dest.path) + ": " + errorText(err);
                        } else {
                            guard.closeFds();
                            if (!place(tmp, src, st, dest)) {
                                m_ctx.addBytes(-static_cast<std::int64_t>(copied));
                                m_ctx.addBytes(st.st_size);
                                m_ctx.addItems(1);
                                return false;
                            }
                            guard.release();
                            finishItem(src, dest, false);
                            return true;
                        }
                    }
                }
            }
        }
        m_ctx.addBytes(-static_cast<std::int64_t>(copied));
        // The partial file goes before the question is asked, so a prompt left open never leaves
        // half a file on the target.
        guard.discard();
        ErrorRequest req{src, m_mode == TransferMode::Move ? "move" : "copy", failure, err, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            m_ctx.addBytes(st.st_size);
            return false;
        }
    }
}

bool Transfer::copyOther(const std::string& src, Dest& dest, const struct stat& st) {
    FsOps& ops = m_ctx.ops();
    const std::string dir = paths::parentOf(dest.path);
    for (;;) {
        TempGuard guard(ops);
        const std::string tmp = tempNameIn(dir);
        int r = 0;
        std::string failure;
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            r = ops.readlink(src, target);
            if (r == 0) {
                r = ops.symlink(target, tmp);
            }
        } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
            r = ops.mknod(tmp, st.st_mode, st.st_rdev);
        } else {
            ErrorRequest req{src, "copy", "Cannot copy " + quoted(src) + ": a socket cannot be copied.", 0,
                             false};
            m_ctx.askError(req);
            m_ctx.addItems(1);
            return false;
        }
        if (r == 0) {
            guard.setPath(tmp);
            if (m_isRoot) {
                ops.lchown(tmp, st.st_uid, st.st_gid);
            }
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ops.setTimes(tmp, times);
            if (!place(tmp, src, st, dest)) {
                m_ctx.addItems(1);
                return false;
            }
            guard.release();
            finishItem(src, dest, false);
            return true;
        }
        ErrorRequest req{src, "copy", "Cannot copy " + quoted(src) + ": " + errorText(-r), -r, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            return false;
        }
    }
}

bool Transfer::place(const std::string& tmp, const std::string& src, const struct stat& st, Dest& dest) {
    FsOps& ops = m_ctx.ops();
    for (;;) {
        const int r = ops.rename(tmp, dest.path, !dest.replace);
        if (r == 0) {
            removeReplaced(dest);
            return true;
        }
        if (r == -EEXIST) {
            // Something took the name while the data was copied: ask again, the copy is kept.
            dest.replace = false;
            if (!resolveDest(src, st, dest) || dest.merge) {
                return false;
            }
            continue;
        }
        ErrorRequest req{src, "copy", "Cannot create " + quoted(dest.path) + ": " + errorText(-r), -r, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return false;
        }
    }
}

void Transfer::removeReplaced(const Dest& dest) {
    if (dest.existing.empty()) {
        return;
    }
    // On a filesystem that ignores case both names reach the item just placed: removing the
    // "other" one would remove the new item itself.
    struct stat placed {
    }, old{};
    FsOps& ops = m_ctx.ops();
    if (ops.lstat(dest.path, placed) != 0 || ops.lstat(dest.existing, old) != 0 ||
        (placed.st_dev == old.st_dev && placed.st_ino == old.st_ino)) {
        return;
    }
    if (S_ISDIR(old.st_mode)) {
        ops.rmdir(dest.existing);
    } else {
        ops.unlink(dest.existing);
    }
    noteRemoved(dest.existing);
}

void Transfer::finishItem(const std::string& src, const Dest& dest, bool isDir) {
    noteCreated(dest.path, isDir);
    recordUndo(src, dest.path);
    m_ctx.addItems(1);
    if (m_mode == TransferMode::Move) {
        m_pendingDeletes.emplace_back(paths::parentOf(dest.path), src);
        if (m_pendingDeletes.size() >= kMaxPendingDeletes) {
            flushDeletes();
        }
    }
}

void Transfer::flushDeletes() {
    if (m_pendingDeletes.empty()) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> pending;
    pending.swap(m_pendingDeletes);
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
