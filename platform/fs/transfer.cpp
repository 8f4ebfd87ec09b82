#include "platform/fs/transfer.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

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
// Files up to this size go to the workers: for them the cost is in the system calls around the
// data, which threads overlap. Bigger files are copied one at a time, which keeps a disk streaming.
constexpr off_t kParallelMax = 4 << 20;
// Files up to this size are made under their own name (see attemptFile).
constexpr off_t kDirectMax = 256 << 10;
constexpr size_t kQueuedPerWorker = 8;
// copyData's answer when the source's size moved under it.
constexpr int kChanged = 1;

std::string quoted(const std::string& path) {
    return "\xE2\x80\x9C" + path + "\xE2\x80\x9D";
}

// Removes a file being made unless it was placed; also closes descriptors on every way out, so a
// cancel (thrown) or an error leaves no partial file behind. A file made under its own name is
// removed only while that name is still this file's (someone may have put another file there).
class TempGuard {
  public:
    explicit TempGuard(FsOps& ops) : m_ops(ops) {}
    ~TempGuard() { discard(); }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    void setPath(std::string p, bool ownName = false) {
        m_path = std::move(p);
        m_ownName = ownName;
    }
    void release() { m_path.clear(); }
    void discard() {
        if (m_path.empty()) {
            closeFds();
            return;
        }
        struct stat mine {};
        const bool known = !m_ownName || (out >= 0 && m_ops.fstat(out, mine) == 0);
        closeFds();
        struct stat there {};
        if (known && (!m_ownName || (m_ops.lstat(m_path, there) == 0 && there.st_dev == mine.st_dev &&
                                     there.st_ino == mine.st_ino))) {
            m_ops.unlink(m_path);
        }
        m_path.clear();
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
    bool m_ownName = false;
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

// How one try at copying a file ended. Whatever did not end Placed has left nothing on the target
// and taken its bytes back from the progress.
struct Transfer::Attempt {
    enum class Outcome { Placed, Taken, Failed, Cancelled };
    Outcome outcome = Outcome::Failed;
    int err = 0;
    std::string failure;  // the message for the question, when Failed
};

struct Transfer::Task {
    std::string src;
    Dest dest;
    struct stat st {};
    std::shared_ptr<bool> all;  // the folder's flag, cleared when this file fails
    Attempt attempt;
};

// A few threads that run attemptFile for the job thread. They never ask and never record: each
// finished task goes back to the job thread, which settles it as it would its own try.
class Transfer::Workers {
  public:
    Workers(Transfer& owner, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            m_threads.emplace_back([this, &owner] { loop(owner); });
        }
    }
    ~Workers() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_queue.clear();
        }
        m_cv.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void submit(Task task) {
        bool wake;
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(task));
            ++m_inFlight;
            wake = m_idle > 0;
        }
        if (wake) {
            m_cv.notify_one();
        }
    }
    // Submitted and not yet taken back.
    size_t inFlight() {
        std::lock_guard lock(m_mutex);
        return m_inFlight;
    }
    // Waits until `want` tasks (or all in flight, if fewer) are finished, then moves every finished
    // one to out. Taking them in batches keeps the threads from waking each other for every file.
    void takeDone(std::list<Task>& out, size_t want) {
        std::unique_lock lock(m_mutex);
        m_want = std::min(want, m_inFlight);
        m_doneCv.wait(lock, [&] { return m_done.size() >= m_want; });
        m_want = kNobodyWaits;
        m_inFlight -= m_done.size();
        for (Task& t : m_done) {
            out.push_back(std::move(t));
        }
        m_done.clear();
    }
    size_t threads() const { return m_threads.size(); }

  private:
    void loop(Transfer& owner) {
        std::unique_ptr<char[]> buffer;
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_cv.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            --m_idle;
            if (m_stop) {
                return;
            }
            Task t = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            try {
                owner.m_ctx.checkpoint();  // waits while paused
                t.attempt = owner.attemptFile(t.src, t.dest.path, false, t.st, buffer);
            } catch (const JobCancelled&) {
                t.attempt.outcome = Attempt::Outcome::Cancelled;
            } catch (const std::exception& e) {
                t.attempt = {Attempt::Outcome::Failed, EIO, "Cannot copy " + quoted(t.src) + ": " + e.what()};
            }
            lock.lock();
            m_done.push_back(std::move(t));
            if (m_done.size() >= m_want) {
                m_doneCv.notify_one();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv, m_doneCv;
    std::deque<Task> m_queue, m_done;
    static constexpr size_t kNobodyWaits = SIZE_MAX;
    bool m_stop = false;
    size_t m_inFlight = 0;
    size_t m_idle = 0;
    size_t m_want = kNobodyWaits;
    std::vector<std::thread> m_threads;
};

Transfer::Transfer(JobContext& ctx, TransferMode mode)
    : m_ctx(ctx), m_mode(mode), m_isRoot(geteuid() == 0), m_batch(std::make_shared<bool>(true)) {}

Transfer::~Transfer() {
    m_workers.reset();  // the threads use the members below
}

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
        countTree(items[i].source, st, dev && *dev == st.st_dev, bytes, count);
    }
    m_ctx.setTotals(bytes, count);
    try {
        for (size_t i = 0; i < items.size(); ++i) {
            m_ctx.checkpoint();
            transferTop(items[i], known[i] ? &*known[i] : nullptr);
        }
        drain();
    } catch (const JobCancelled&) {
        // Copies that completed are whole and may release their sources; the rest keep theirs.
        settleAfterCancel();
        flushDeletes();
        throw;
    }
    flushDeletes();
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

void Transfer::transferTop(const Item& item, const struct stat* known) {
    struct stat st {};
    if (known) {
        st = *known;
    } else if (!lstatOrAsk(item.source, st)) {
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
        if (const auto dev = deviceOf(targetDir); dev && *dev == st.st_dev) {
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

bool Transfer::resolveDest(const std::string& src, const struct stat& st, Dest& dest, bool firstLook) {
    for (;;) {
        const std::string dir = paths::parentOf(dest.path);
        const std::string name = paths::baseName(dest.path);
        struct stat tst {};
        std::string existing;
        // In a folder this job made, what is there is known: the names it placed. Anything another
        // program adds meanwhile still cannot be replaced: an item takes its name only where the name
        // is free, and when it is not, the question comes back here with firstLook false.
        const bool ours = firstLook && m_createdDirs.count(dir) != 0;
        if (!ours && m_ctx.ops().lstat(dest.path, tst) == 0) {
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
    if (!resolveDest(src, st, dest, true)) {
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
        if (st.st_size <= kParallelMax && !dest.replace && dest.existing.empty()) {
            dispatch(Task{src, dest, st, m_batch, {}});
            return true;  // a failure shows in the folder's flag
        }
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
    const auto batch = std::make_shared<bool>(true);
    const auto outer = std::exchange(m_batch, batch);
    for (const std::string& n : names) {
        struct stat cst {};
        const std::string child = paths::join(src, n);
        if (!lstatOrAsk(child, cst)) {
            all = false;
            continue;
        }
        all = copyItem(child, paths::join(dest.path, n), cst) && all;
    }
    // The folder's own mode and times come last, after every file is in: a read-only mode would
    // refuse them and each new name would change the times.
    drain();
    m_batch = outer;
    all = all && *batch;
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

int Transfer::copyData(int in, int out, const struct stat& st, std::uint64_t& copied,
                       std::unique_ptr<char[]>& buffer) {
    FsOps& ops = m_ctx.ops();
    copied = 0;
    auto sizeNow = [&](int fd) {
        struct stat now {};
        return ops.fstat(fd, now) == 0 ? static_cast<std::uint64_t>(now.st_size) : UINT64_MAX;
    };
    if (m_tryClone && st.st_size > 0) {
        const int r = ops.cloneFile(in, out);
        if (r == 0) {
            copied = static_cast<std::uint64_t>(st.st_size);
            m_ctx.addBytes(st.st_size);
            // The clone took the file as it was; if its size changed since the stat, it was being
            // written to, and the copy is not trusted.
            return sizeNow(in) == copied ? 0 : kChanged;
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
                // At the size the file had, its size now tells whether this is the end: one call
                // fewer than reading on to the end, which for small files is a good part of the cost.
                if (copied == static_cast<std::uint64_t>(st.st_size) && sizeNow(in) == copied) {
                    return 0;
                }
                continue;
            }
            if (n == 0) {
                return sizeNow(in) == copied ? 0 : kChanged;
            }
            if (copied == 0 && fallbackError(static_cast<int>(n))) {
                m_tryCopyRange = false;
                break;
            }
            return static_cast<int>(n);
        }
    }
    if (!buffer) {
        buffer.reset(new char[kBufferSize]);
    }
    for (;;) {
        const ssize_t n = ops.read(in, buffer.get(), kBufferSize);
        if (n == 0) {
            return sizeNow(in) == copied ? 0 : kChanged;
        }
        if (n < 0) {
            if (n == -EINTR) {
                continue;
            }
            return static_cast<int>(n);
        }
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ops.write(out, buffer.get() + off, static_cast<size_t>(n - off));
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

Transfer::Attempt Transfer::attemptFile(const std::string& src, const std::string& path, bool replace,
                                        const struct stat& st, std::unique_ptr<char[]>& buffer) {
    FsOps& ops = m_ctx.ops();
    const std::string dir = paths::parentOf(path);
    TempGuard guard(ops);
    std::uint64_t copied = 0;
    Attempt attempt;
    auto giveUp = [&](Attempt::Outcome outcome, int err, std::string failure) {
        m_ctx.addBytes(-static_cast<std::int64_t>(copied));
        // The partial file goes before any question is asked, so a prompt left open never leaves
        // half a file on the target.
        guard.discard();
        attempt.outcome = outcome;
        attempt.err = err;
        attempt.failure = std::move(failure);
        return attempt;
    };
    auto fail = [&](int err, std::string failure) {
        return giveUp(Attempt::Outcome::Failed, err, std::move(failure));
    };

    guard.in = ops.openRead(src);
    if (guard.in < 0) {
        const int err = -std::exchange(guard.in, -1);
        return fail(err, "Cannot read " + quoted(src) + ": " + errorText(err));
    }
    // Made with the source's permissions, which usually spares changing them later (the folder's
    // umask or default ACL may still take some away: the check at the end puts them right).
    const mode_t mode = st.st_mode & 0777;
    // Where the copy is made while its data goes in:
    // - a small file under its own name, as other programs make files: the exclusive create never
    //   takes a name that exists, and every way out before the file is whole removes it again. Only
    //   a crash in the few milliseconds of its copy could leave part of one; in return a file costs
    //   one directory change instead of two, which is most of the time of copying many small files;
    // - a bigger file without a name until it is whole, so it cannot be seen half-written and is
    //   gone by itself if the program dies;
    // - a temporary name where the filesystem has no unnamed files, or to replace a file: the
    //   rename replaces atomically.
    enum class Way { OwnName, Unnamed, TemporaryName };
    Way way = Way::TemporaryName;
    if (!replace && st.st_size <= kDirectMax) {
        way = Way::OwnName;
    } else if (!replace && m_tryUnnamed) {
        way = Way::Unnamed;
    }
    auto taken = [&] {
        // Something else has the name now (made while this copy was being made): nothing was
        // replaced.
        return giveUp(Attempt::Outcome::Taken, EEXIST, {});
    };
    if (way == Way::OwnName) {
        guard.out = ops.createExclusive(path, mode);
        if (guard.out == -EEXIST) {
            guard.out = -1;
            return taken();
        }
        if (guard.out < 0) {
            const int err = -std::exchange(guard.out, -1);
            return fail(err, "Cannot create " + quoted(path) + ": " + errorText(err));
        }
        guard.setPath(path, true);
    }
    if (way == Way::Unnamed) {
        guard.out = ops.createUnnamed(dir, mode);
        if (guard.out == -EOPNOTSUPP) {
            m_tryUnnamed = false;
            guard.out = -1;
            way = Way::TemporaryName;
        } else if (guard.out < 0) {
            const int err = -std::exchange(guard.out, -1);
            return fail(err, "Cannot write into " + quoted(dir) + ": " + errorText(err));
        }
    }
    std::string tmp;
    if (way == Way::TemporaryName) {
        tmp = tempNameIn(dir);
        guard.out = ops.createExclusive(tmp, mode);
        if (guard.out < 0) {
            const int err = -std::exchange(guard.out, -1);
            return fail(err, "Cannot write into " + quoted(dir) + ": " + errorText(err));
        }
        guard.setPath(tmp);
    }
    if (const int r = copyData(guard.in, guard.out, st, copied, buffer); r == kChanged) {
        return fail(0, "The file " + quoted(src) + " changed while it was being copied.");
    } else if (r != 0) {
        return fail(-r, "Cannot copy " + quoted(src) + ": " + errorText(-r));
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ops.futimens(guard.out, times);
    struct stat written {};
    int r = ops.fstat(guard.out, written);
    if (r != 0 || static_cast<std::uint64_t>(written.st_size) != copied) {
        return fail(r ? -r : EIO, "The copy of " + quoted(src) + " is incomplete.");
    }
    // Owner and permissions only where they came out different. The owner first: changing it
    // clears the set-id bits.
    if (m_isRoot && (written.st_uid != st.st_uid || written.st_gid != st.st_gid)) {
        ops.fchown(guard.out, st.st_uid, st.st_gid);
    }
    if ((written.st_mode & 07777) != (st.st_mode & 07777)) {
        ops.fchmod(guard.out, st.st_mode & 07777);
    }
    if (m_mode == TransferMode::Move && (r = ops.fsync(guard.out)) != 0) {
        return fail(-r, "Cannot write " + quoted(path) + " to disk: " + errorText(-r));
    }
    if (way == Way::Unnamed) {
        r = ops.linkUnnamed(guard.out, path);
        if (r == -EEXIST) {
            return taken();
        }
        if (r != 0) {
            return fail(-r, "Cannot create " + quoted(path) + ": " + errorText(-r));
        }
    }
    if (way != Way::TemporaryName) {
        // Delayed write errors of network filesystems show up at close; the name goes again then,
        // if it is still this file's.
        r = ops.close(std::exchange(guard.out, -1));
        if (r != 0) {
            guard.release();
            struct stat placed {};
            if (ops.lstat(path, placed) == 0 && placed.st_dev == written.st_dev &&
                placed.st_ino == written.st_ino) {
                ops.unlink(path);
            }
            return fail(-r, "Cannot write " + quoted(path) + ": " + errorText(-r));
        }
        guard.release();
        guard.closeFds();
        attempt.outcome = Attempt::Outcome::Placed;
        return attempt;
    }
    r = ops.close(std::exchange(guard.out, -1));
    if (r != 0) {
        return fail(-r, "Cannot write " + quoted(path) + ": " + errorText(-r));
    }
    guard.closeFds();
    // After a Replace answer the rename replaces atomically: the old file stays whole until the
    // new one takes its name.
    r = ops.rename(tmp, path, !replace);
    if (r == -EEXIST) {
        return taken();
    }
    if (r != 0) {
        return fail(-r, "Cannot create " + quoted(path) + ": " + errorText(-r));
    }
    guard.release();
    attempt.outcome = Attempt::Outcome::Placed;
    return attempt;
}

bool Transfer::copyFile(const std::string& src, Dest& dest, const struct stat& st) {
    return settleFile(src, dest, st, attemptFile(src, dest.path, dest.replace, st, m_buffer));
}

bool Transfer::settleFile(const std::string& src, Dest& dest, const struct stat& st, Attempt attempt) {
    for (;;) {
        switch (attempt.outcome) {
            case Attempt::Outcome::Placed:
                removeReplaced(dest);
                finishItem(src, dest, false);
                return true;
            case Attempt::Outcome::Cancelled:
                throw JobCancelled{};
            case Attempt::Outcome::Taken:
                // Ask again; the answer decides the next try.
                dest.replace = false;
                dest.existing.clear();
                if (!resolveDest(src, st, dest) || dest.merge) {
                    m_ctx.addItems(1);
                    m_ctx.addBytes(st.st_size);
                    return false;
                }
                break;
            case Attempt::Outcome::Failed: {
                ErrorRequest req{src, m_mode == TransferMode::Move ? "move" : "copy", attempt.failure,
                                 attempt.err, true};
                if (m_ctx.askError(req) == ErrorChoice::Skip) {
                    m_ctx.addItems(1);
                    m_ctx.addBytes(st.st_size);
                    return false;
                }
                break;
            }
        }
        attempt = attemptFile(src, dest.path, dest.replace, st, m_buffer);
    }
}

void Transfer::dispatch(Task task) {
    if (!m_workers) {
        m_workers = std::make_unique<Workers>(*this, std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    }
    const size_t cap = m_workers->threads() * kQueuedPerWorker;
    m_workers->submit(std::move(task));
    // Settle in batches: wait for half the queue once it is full, otherwise take what is done.
    m_workers->takeDone(m_finished, m_workers->inFlight() >= cap ? cap / 2 : 0);
    settleFinished();
}

void Transfer::settleFinished() {
    while (!m_finished.empty()) {
        Task task = std::move(m_finished.front());
        m_finished.pop_front();
        m_ctx.setCurrent(task.src);
        if (!settleFile(task.src, task.dest, task.st, std::move(task.attempt))) {
            *task.all = false;
        }
    }
}

void Transfer::drain() {
    settleFinished();
    while (m_workers && m_workers->inFlight() > 0) {
        m_workers->takeDone(m_finished, m_workers->inFlight());
        settleFinished();
    }
}

void Transfer::settleAfterCancel() {
    // Files the workers placed are recorded (undo, a move's source); the rest left nothing behind.
    for (;;) {
        for (Task& task : m_finished) {
            if (task.attempt.outcome == Attempt::Outcome::Placed) {
                finishItem(task.src, task.dest, false);
            }
        }
        m_finished.clear();
        if (!m_workers || m_workers->inFlight() == 0) {
            return;
        }
        m_workers->takeDone(m_finished, m_workers->inFlight());
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
