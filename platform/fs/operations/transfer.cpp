#include "platform/fs/operations/transfer.h"

#include <unistd.h>
#include <cerrno>
#include <utility>

#include "platform/fs/core/partialfile.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {

// Files up to this size go to the workers: for them the cost is in the system calls around the
// data, which threads overlap. Bigger files are copied one at a time, which keeps a disk streaming.
constexpr off_t kParallelMax = 4 << 20;

}  // namespace

Transfer::Transfer(JobContext& ctx, TransferMode mode)
    : m_ctx(ctx),
      m_mode(mode),
      m_isRoot(geteuid() == 0),
      m_walk(ctx),
      m_targets(ctx, mode == TransferMode::Move),
      m_copier(ctx, mode == TransferMode::Move),
      m_deletes(ctx),
      m_batch(std::make_shared<bool>(true)),
      m_workers(ctx, m_copier) {}

Transfer::~Transfer() = default;

void Transfer::run(const std::vector<Item>& items) {
    m_ctx.undo().kind = m_mode == TransferMode::Copy ? UndoInfo::Kind::Copy : UndoInfo::Kind::Move;
    std::uint64_t bytes = 0, count = 0;
    // What counting found is used once more when the item's turn comes, unless it could not be read
    // then: a second look would tell nothing new a few moments later.
    std::vector<std::optional<struct stat>> known(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        struct stat st {};
        if (m_ctx.ops().lstat(items[i].source, st) != 0) {
            ++count;
            continue;
        }
        known[i] = st;
        const auto dev =
            m_mode == TransferMode::Move ? deviceOf(paths::parentOf(items[i].target)) : std::nullopt;
        m_walk.count(items[i].source, st, dev && *dev == st.st_dev, bytes, count);
    }
    m_ctx.setTotals(bytes, count);
    try {
        for (size_t i = 0; i < items.size(); ++i) {
            m_ctx.checkpoint();
            transferTop(items[i], known[i] ? &*known[i] : nullptr);
        }
        m_workers.drain([this](CopyTask& t) { settleTask(t); });
    } catch (const JobCancelled&) {
        // Copies that completed are whole and may release their sources; the rest keep theirs and
        // left nothing behind.
        m_workers.collect([this](CopyTask& t) {
            if (t.attempt.outcome == FileCopier::Attempt::Outcome::Placed) {
                finishItem(t.src, t.dest, false);
            }
        });
        m_deletes.flush();
        throw;
    }
    m_deletes.flush();
}

std::optional<dev_t> Transfer::deviceOf(const std::string& dir) {
    // The items of one job nearly always go to one folder: its device is asked for once.
    if (dir == m_deviceDir) {
        return m_device;
    }
    struct stat st {};
    m_deviceDir = dir;
    m_device = m_ctx.ops().stat(dir, st) == 0 ? std::optional<dev_t>(st.st_dev) : std::nullopt;
    return m_device;
}

void Transfer::transferTop(const Item& item, const struct stat* known) {
    struct stat st {};
    if (known) {
        st = *known;
    } else if (!m_walk.lstatOrAsk(item.source, st)) {
        m_ctx.addItems(1);
        return;
    }
    if (S_ISDIR(st.st_mode) && intoItself(item, st)) {
        m_ctx.addItems(1);
        return;
    }
    if (m_mode == TransferMode::Move) {
        if (const auto dev = deviceOf(paths::parentOf(item.target)); dev && *dev == st.st_dev) {
            moveByRename(item.source, item.target, st);
            return;
        }
    }
    copyItem(item.source, item.target, st);
}

bool Transfer::intoItself(const Item& item, const struct stat& st) {
    const std::string targetDir = paths::parentOf(item.target);
    std::string srcReal, dirReal;
    const int r1 = m_ctx.ops().realPath(item.source, srcReal);
    const int r2 = m_ctx.ops().realPath(targetDir, dirReal);
    bool inside = r1 == 0 && r2 == 0 && paths::isSameOrInside(dirReal, srcReal);
    // The same folder can be reached by other paths (a bind mount): the target folder and each folder
    // above it are compared with the source by device and inode.
    for (std::string dir = r2 == 0 ? dirReal : targetDir; !inside && !dir.empty();) {
        struct stat up {};
        if (m_ctx.ops().stat(dir, up) == 0 && up.st_dev == st.st_dev && up.st_ino == st.st_ino) {
            inside = true;
        }
        std::string parent = paths::parentOf(dir);
        if (parent == dir) break;
        dir = std::move(parent);
    }
    if (!inside) {
        return false;
    }
    // Copying a folder into itself would never end and moving it there would detach it.
    const JobAction action = m_mode == TransferMode::Move ? JobAction::Move : JobAction::Copy;
    ErrorRequest req{item.source, action, {action, item.source, 0, JobProblem::IntoItself, targetDir}, false};
    m_ctx.askError(req);
    return true;
}

void Transfer::recordUndo(const std::string& src, const std::string& dest) {
    // Only the top-most items: undoing a folder undoes what is inside it.
    if (m_targets.madeByJob(paths::parentOf(dest))) {
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
    TransferTarget dest;
    dest.path = target;
    if (!m_targets.resolve(src, st, dest)) {
        m_ctx.addItems(1);
        return false;
    }
    if (dest.merge) {
        return mergeByRename(src, dest);
    }
    for (;;) {
        // After a Replace answer the rename replaces atomically: the old item stays whole until the
        // new one takes its name.
        const int r = m_ctx.ops().rename(src, dest.path, !dest.replace);
        if (r == 0) {
            m_targets.removeReplaced(dest);
            m_targets.noteCreated(dest.path, false);
            recordUndo(src, dest.path);
            m_ctx.addItems(1);
            return true;
        }
        if (r == -EEXIST || r == -ENOTEMPTY) {
            if (!m_targets.resolve(src, st, dest)) {
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
        ErrorRequest req{src, JobAction::Move, {JobAction::Move, src, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            return false;
        }
    }
}

bool Transfer::mergeByRename(const std::string& src, const TransferTarget& dest) {
    std::vector<std::string> names;
    if (const int r = m_ctx.ops().listNames(src, names); r != 0) {
        m_ctx.noteSkipped({JobAction::ReadFolder, src, -r});
        return false;
    }
    const bool all = m_walk.forEachChild(
        src, names, [&](const std::string& child, const std::string& n, const struct stat& cst) {
            return moveByRename(child, paths::join(dest.path, n), cst);
        });
    m_ctx.addItems(1);
    if (all) {
        m_ctx.ops().rmdir(src);  // left alone if something new appeared in it
    }
    return all;
}

void Transfer::skipFile(const struct stat& st) {
    m_ctx.addItems(1);
    if (S_ISREG(st.st_mode)) {
        m_ctx.addBytes(st.st_size);
    }
}

bool Transfer::copyItem(const std::string& src, const std::string& target, const struct stat& st) {
    m_ctx.checkpoint();
    m_ctx.setCurrent(src);
    TransferTarget dest;
    dest.path = target;
    if (!m_targets.resolve(src, st, dest, true)) {
        skipFile(st);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        return copyDir(src, dest, st);
    }
    if (S_ISREG(st.st_mode)) {
        if (st.st_nlink > 1 || copiedLink(st)) {
            // Names of one file inside the tree stay names of one file: the first is copied (here,
            // not on a worker, so it is in place before the next name links to it), the others link.
            return linkToCopy(src, dest, st) ||
                   settleFile(src, dest, st, m_copier.copy(src, dest.path, dest.replace, st, m_buffer));
        }
        if (st.st_size <= kParallelMax && !dest.replace && dest.existing.empty()) {
            m_workers.submit(CopyTask{src, dest, st, m_batch, {}}, [this](CopyTask& t) { settleTask(t); });
            return true;  // a failure shows in the folder's flag
        }
        return settleFile(src, dest, st, m_copier.copy(src, dest.path, dest.replace, st, m_buffer));
    }
    return copyOther(src, dest, st);
}

Transfer::DirStart Transfer::makeDir(const std::string& src, TransferTarget& dest, const struct stat& st) {
    while (!dest.merge) {
        // Owner-only until the contents are in, so nobody works in a half-copied folder.
        const int r = m_ctx.ops().mkdir(dest.path, 0700);
        if (r == 0) {
            m_targets.noteCreated(dest.path, true);
            return DirStart::Created;
        }
        if (r == -EEXIST) {
            if (!m_targets.resolve(src, st, dest)) {
                return DirStart::Skipped;
            }
            continue;
        }
        ErrorRequest req{dest.path, JobAction::CreateFolder, {JobAction::CreateFolder, dest.path, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return DirStart::Skipped;
        }
    }
    return DirStart::Merge;
}

bool Transfer::copyDir(const std::string& src, TransferTarget& dest, const struct stat& st) {
    FsOps& ops = m_ctx.ops();
    const DirStart start = makeDir(src, dest, st);
    if (start == DirStart::Skipped) {
        m_ctx.addItems(1);
        return false;
    }
    const bool created = start == DirStart::Created;
    std::vector<std::string> names;
    if (!m_walk.listOrAsk(src, names)) {
        m_ctx.addItems(1);
        if (created) {
            ops.rmdir(dest.path);
            m_targets.noteRemoved(dest.path);
        }
        return false;
    }
    if (created) {
        recordUndo(src, dest.path);
    }
    const auto batch = std::make_shared<bool>(true);
    const auto outer = std::exchange(m_batch, batch);
    bool all = m_walk.forEachChild(
        src, names, [&](const std::string& child, const std::string& n, const struct stat& cst) {
            return copyItem(child, paths::join(dest.path, n), cst);
        });
    // The folder's own mode and times come last, after every file is in: a read-only mode would
    // refuse them and each new name would change the times.
    m_workers.drain([this](CopyTask& t) { settleTask(t); });
    m_batch = outer;
    all = all && *batch;
    if (created) {
        if (m_isRoot) {
            ops.lchown(dest.path, st.st_uid, st.st_gid);
        }
        copyFolderAttributes(src, dest.path);
        // Times last: creating the children changed them.
        ops.chmod(dest.path, st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ops.setTimes(dest.path, times);
    }
    m_ctx.addItems(1);
    if (m_mode == TransferMode::Move) {
        m_deletes.flush();
        if (all && ops.rmdir(src) != 0) {
            all = false;
        }
    }
    return all;
}

void Transfer::copyFolderAttributes(const std::string& src, const std::string& dest) {
    FsOps& ops = m_ctx.ops();
    const int from = ops.openRead(src);
    const int to = from < 0 ? -1 : ops.openRead(dest);
    if (to >= 0 && ops.copyAttributes(from, to) != 0) {
        m_ctx.noteAttributesLost(src);
    }
    for (const int fd : {from, to}) {
        if (fd >= 0) {
            ops.close(fd);
        }
    }
}

void Transfer::settleTask(CopyTask& task) {
    m_ctx.setCurrent(task.src);
    if (!settleFile(task.src, task.dest, task.st, std::move(task.attempt))) {
        *task.all = false;
    }
}

bool Transfer::settleFile(const std::string& src, TransferTarget& dest, const struct stat& st,
                          FileCopier::Attempt attempt) {
    using Outcome = FileCopier::Attempt::Outcome;
    for (;;) {
        switch (attempt.outcome) {
            case Outcome::Placed:
                m_targets.removeReplaced(dest);
                if (st.st_nlink > 1) {
                    m_copiedLinks.emplace(std::make_pair(st.st_dev, st.st_ino),
                                          CopiedLink{dest.path, st.st_size, st.st_mtim});
                }
                finishItem(src, dest, false);
                return true;
            case Outcome::Cancelled:
                throw JobCancelled{};
            case Outcome::Taken:
                // Ask again; the answer decides the next try.
                dest.replace = false;
                dest.existing.clear();
                if (!m_targets.resolve(src, st, dest) || dest.merge) {
                    skipFile(st);
                    return false;
                }
                break;
            case Outcome::Failed: {
                ErrorRequest req{src, m_mode == TransferMode::Move ? JobAction::Move : JobAction::Copy,
                                 attempt.report, true};
                if (m_ctx.askError(req) == ErrorChoice::Skip) {
                    skipFile(st);
                    return false;
                }
                break;
            }
        }
        attempt = m_copier.copy(src, dest.path, dest.replace, st, m_buffer);
    }
}

const Transfer::CopiedLink* Transfer::copiedLink(const struct stat& st) const {
    const auto it = m_copiedLinks.find({st.st_dev, st.st_ino});
    if (it == m_copiedLinks.end() || it->second.size != st.st_size ||
        it->second.mtime.tv_sec != st.st_mtim.tv_sec || it->second.mtime.tv_nsec != st.st_mtim.tv_nsec) {
        return nullptr;
    }
    return &it->second;
}

bool Transfer::linkToCopy(const std::string& src, TransferTarget& dest, const struct stat& st) {
    const CopiedLink* copy = copiedLink(st);
    if (!copy || dest.replace || m_ctx.ops().link(copy->path, dest.path) != 0) {
        return false;  // copied as a file of its own
    }
    m_ctx.addBytes(st.st_size);
    finishItem(src, dest, false);
    return true;
}

bool Transfer::copyOther(const std::string& src, TransferTarget& dest, const struct stat& st) {
    if (!S_ISLNK(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode)) {
        ErrorRequest req{src, JobAction::Copy, {JobAction::Copy, src, 0, JobProblem::Socket}, false};
        m_ctx.askError(req);
        m_ctx.addItems(1);
        return false;
    }
    const std::string dir = paths::parentOf(dest.path);
    for (;;) {
        PartialFile made(m_ctx.ops());
        const std::string tmp = FileCopier::tempNameIn(dir);
        const int r = m_copier.copySpecial(src, tmp, st);
        if (r == 0) {
            made.setTemporaryName(tmp);
            if (!place(tmp, src, st, dest)) {
                m_ctx.addItems(1);
                return false;
            }
            made.placed();
            finishItem(src, dest, false);
            return true;
        }
        ErrorRequest req{src, JobAction::Copy, {JobAction::Copy, src, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            m_ctx.addItems(1);
            return false;
        }
    }
}

bool Transfer::place(const std::string& tmp, const std::string& src, const struct stat& st,
                     TransferTarget& dest) {
    for (;;) {
        const int r = m_ctx.ops().rename(tmp, dest.path, !dest.replace);
        if (r == 0) {
            m_targets.removeReplaced(dest);
            return true;
        }
        if (r == -EEXIST) {
            // Something took the name while the item was made: ask again, the copy is kept.
            dest.replace = false;
            if (!m_targets.resolve(src, st, dest) || dest.merge) {
                return false;
            }
            continue;
        }
        ErrorRequest req{src, JobAction::Copy, {JobAction::Create, dest.path, -r}, true};
        if (m_ctx.askError(req) == ErrorChoice::Skip) {
            return false;
        }
    }
}

void Transfer::finishItem(const std::string& src, const TransferTarget& dest, bool isDir) {
    m_targets.noteCreated(dest.path, isDir);
    recordUndo(src, dest.path);
    m_ctx.addItems(1);
    if (m_mode == TransferMode::Move) {
        m_deletes.add(paths::parentOf(dest.path), src);
    }
}

}  // namespace kv
