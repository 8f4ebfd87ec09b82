#include "platform/fs/listing/folderlister.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/fs/listing/sortkey.h"

namespace kv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kListBuffer = 256 * 1024;
constexpr size_t kFirstBatch = 200;
constexpr size_t kMaxBatch = 8192;
constexpr size_t kMaxReserve = 4'000'000;
// A batch goes out when it is full, when it holds a few rows and has waited kMaxBatchDelay, and with
// whatever it holds once it has waited kAnyBatchDelay (a slow volume still shows its first rows).
constexpr auto kMaxBatchDelay = std::chrono::milliseconds(40);
constexpr auto kAnyBatchDelay = std::chrono::milliseconds(100);
// A call that has not returned after two ticks (~100 ms): the rows read so far go out meanwhile. A stat
// that has not returned after kGiveUpTicks (~1 s): its entry goes out as not answering and another
// thread goes on with the listing; the blocked one leaves when its call returns.
constexpr auto kTick = std::chrono::milliseconds(50);
constexpr int kShowTicks = 2;
constexpr int kGiveUpTicks = 20;

// The entries whose stat was given up on and has not returned yet (a hung mount point, a link into
// one): looked at again, they are given as not answering at once, without another thread blocked.
class HangingPaths {
  public:
    static HangingPaths& get() {
        static auto* paths = new HangingPaths;  // never destroyed: blocked threads may outlive main
        return *paths;
    }
    bool holds(const std::string& dir, const char* name) {
        if (m_count.load(std::memory_order_relaxed) == 0 || dir.empty()) return false;
        std::lock_guard lock(m_mutex);
        return m_paths.count(join(dir, name)) > 0;
    }
    void add(const std::string& path) {
        std::lock_guard lock(m_mutex);
        m_paths.insert(path);
        m_count.store(static_cast<int>(m_paths.size()), std::memory_order_relaxed);
    }
    void remove(const std::string& path) {
        std::lock_guard lock(m_mutex);
        m_paths.erase(path);
        m_count.store(static_cast<int>(m_paths.size()), std::memory_order_relaxed);
    }
    static std::string join(const std::string& dir, const char* name) {
        return dir.back() == '/' ? dir + name : dir + '/' + name;
    }

  private:
    std::mutex m_mutex;
    std::set<std::string> m_paths;
    std::atomic<int> m_count{0};
};

// An entry whose stat does not answer: what the folder itself says of it, size and time unknown.
void fillUnanswered(const char* name, unsigned char dtype, DirEntry& e) {
    e.name = name;
    e.hidden = name[0] == '.';
    e.mode = dtype == DT_LNK ? S_IFLNK : S_IFDIR;
    e.isDir = dtype != DT_LNK && dtype != DT_REG;
    if (dtype == DT_REG) e.mode = S_IFREG;
    e.isSymlink = dtype == DT_LNK;
    e.unanswered = true;
    e.sortKey = SortKey::make(e.name);
}

bool fillEntryAt(int dirFd, const std::string& dirPath, const char* name, unsigned char dtype, DirEntry& e) {
    if (HangingPaths::get().holds(dirPath, name)) {
        fillUnanswered(name, dtype, e);
        return true;
    }
    e.name = name;
    e.hidden = name[0] == '.';
    struct statx sx {};
    constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME;
    if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &sx) != 0) {
        // Gone between getdents and statx, or unreadable: keep the name the folder reported.
        if (errno == ENOENT) {
            return false;
        }
        e.mode = dtype == DT_DIR ? S_IFDIR : dtype == DT_LNK ? S_IFLNK : S_IFREG;
        e.isDir = dtype == DT_DIR;
        e.isSymlink = dtype == DT_LNK;
        e.sortKey = SortKey::make(e.name);
        return true;
    }
    e.mode = sx.stx_mode;
    e.size = sx.stx_size;
    e.mtimeNs = static_cast<std::int64_t>(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
    e.isSymlink = S_ISLNK(sx.stx_mode);
    e.isDir = S_ISDIR(sx.stx_mode);
    if (e.isSymlink) {
        struct statx target {};
        if (statx(dirFd, name, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_SIZE, &target) == 0) {
            e.isDir = S_ISDIR(target.stx_mode);
            e.size = target.stx_size;
        } else {
            e.isBrokenLink = true;
        }
    }
    e.sortKey = SortKey::make(e.name);
    return true;
}

// Who holds a listing. The thread that works on it (its owner) marks the calls that may block; the
// watchdog, seeing one that has not returned, takes the listing for a moment (kLending) to send the
// rows read so far, or for good (kTakenOver): it moves the listing into a Run of its own and goes on
// with it, and the blocked owner leaves when its call returns.
enum State : int { kWorking, kReading, kStatting, kLending, kTakenOver };

struct Run {
    std::string path;
    int fd = -1;
    std::unique_ptr<char[]> buf{new char[kListBuffer]};
    ssize_t filled = 0, at = 0;  // of buf
    const char* current = nullptr;
    unsigned char currentType = DT_UNKNOWN;
    std::vector<DirEntry> batch;
    size_t batchLimit = kFirstBatch;
    Clock::time_point lastEmit = Clock::now();
    FolderLister::EmitFn emit;
    FolderLister::DoneFn done;
    bool stopped = false;  // emit said stop
    std::string givenUp;   // taken over: the path whose stat did not answer

    std::atomic<int> state{kWorking};
    std::atomic<std::uint64_t> calls{0};

    std::mutex mutex;  // for the watchdog's wait
    std::condition_variable wake;
    bool over = false;

    ~Run() {
        if (fd >= 0) close(fd);
    }

    // The owner, before and after a call that may block. False after it: the listing was taken over.
    void enter(State s) {
        calls.fetch_add(1, std::memory_order_relaxed);
        state.store(s, std::memory_order_release);
    }
    bool leave() {
        int s = state.load(std::memory_order_acquire);
        for (;;) {
            if (s == kTakenOver) return false;
            if (s == kLending) {
                std::this_thread::yield();
                s = state.load(std::memory_order_acquire);
            } else if (state.compare_exchange_weak(s, kWorking, std::memory_order_acq_rel)) {
                return true;
            }
        }
    }

    void send() {
        lastEmit = Clock::now();
        if (batch.empty() || stopped) return;
        std::vector<DirEntry> out = std::move(batch);
        batch = {};
        batch.reserve(batchLimit);
        batchLimit = std::min(batchLimit * 4, kMaxBatch);
        stopped = !emit(std::move(out));
    }

    // The listing as it stands, for another thread to go on with; this one keeps only what its
    // blocked owner looks at when its call returns.
    std::shared_ptr<Run> handOver() {
        auto next = std::make_shared<Run>();
        next->path = path;
        std::swap(next->fd, fd);
        next->buf = std::move(buf);
        next->filled = filled;
        next->at = at;
        next->batch = std::move(batch);
        next->batchLimit = batchLimit;
        next->lastEmit = lastEmit;
        next->emit = std::move(emit);
        next->done = std::move(done);
        next->stopped = stopped;
        return next;
    }
};

void work(const std::shared_ptr<Run>& run);

// Watches one owner of the listing until it ends the listing or the watchdog takes it over.
void watch(std::shared_ptr<Run> run) {
    std::thread([run = std::move(run)] {
        std::uint64_t seen = ~std::uint64_t{0};
        int ticks = 0;
        bool shown = false;
        std::unique_lock lock(run->mutex);
        for (;;) {
            if (run->wake.wait_for(lock, kTick, [&] { return run->over; })) return;
            const std::uint64_t calls = run->calls.load(std::memory_order_relaxed);
            int s = run->state.load(std::memory_order_relaxed);
            if (s == kWorking || calls != seen) {
                seen = calls;
                ticks = 0;
                shown = false;
                continue;
            }
            ++ticks;
            const bool giveUp = s == kStatting && ticks >= kGiveUpTicks;
            if ((shown || ticks < kShowTicks) && !giveUp) continue;
            if (!run->state.compare_exchange_strong(s, kLending, std::memory_order_acq_rel)) continue;
            // The owner is still in its call, and waits for us should it return meanwhile.
            if (!giveUp) {
                run->send();
                shown = true;
                run->state.store(s, std::memory_order_release);
                continue;
            }
            run->givenUp = HangingPaths::join(run->path, run->current);
            HangingPaths::get().add(run->givenUp);
            DirEntry e;
            fillUnanswered(run->current, run->currentType, e);
            std::shared_ptr<Run> next = run->handOver();
            run->state.store(kTakenOver, std::memory_order_release);
            lock.unlock();
            next->batch.push_back(std::move(e));
            next->send();
            work(next);
            return;
        }
    }).detach();
}

void finish(const std::shared_ptr<Run>& run, int error) {
    run->send();
    if (run->stopped) error = ECANCELED;
    {
        std::lock_guard lock(run->mutex);
        run->over = true;
    }
    run->wake.notify_all();
    close(run->fd);
    run->fd = -1;
    run->done(error);
}

// Goes on with the listing where it stands, on this thread, until it ends or is taken over.
void work(const std::shared_ptr<Run>& run) {
    if (run->stopped) return finish(run, ECANCELED);
    watch(run);
    for (;;) {
        if (run->at >= run->filled) {
            const int fd = run->fd;
            char* buf = run->buf.get();
            run->enter(kReading);
            const ssize_t n = getdents64(fd, buf, kListBuffer);
            const int error = errno;
            run->leave();  // a read is lent, never taken over
            if (run->stopped) return finish(run, ECANCELED);
            if (n <= 0) return finish(run, n < 0 ? error : 0);
            run->filled = n;
            run->at = 0;
        }
        auto* d = reinterpret_cast<struct dirent64*>(run->buf.get() + run->at);
        run->at += d->d_reclen;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        run->current = name;
        run->currentType = d->d_type;
        DirEntry e;
        // What the call needs is read before it: once given up on, the listing is no longer ours.
        const int fd = run->fd;
        const std::string& path = run->path;  // a taken-over Run keeps its path
        run->enter(kStatting);
        const bool found = fillEntryAt(fd, path, name, d->d_type, e);
        if (!run->leave()) {
            // Given up on while it waited: another thread has the listing now.
            HangingPaths::get().remove(run->givenUp);
            return;
        }
        if (run->stopped) return finish(run, ECANCELED);
        if (found) run->batch.push_back(std::move(e));
        const size_t size = run->batch.size();
        if (size == 0) continue;
        const auto waited = Clock::now() - run->lastEmit;
        if (size >= run->batchLimit || (size >= 64 && waited > kMaxBatchDelay) || waited > kAnyBatchDelay) {
            run->send();
            if (run->stopped) return finish(run, ECANCELED);
        }
    }
}

}  // namespace

void FolderLister::stream(const std::string& path, EmitFn emit, DoneFn done) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        done(errno);
        return;
    }
    auto run = std::make_shared<Run>();
    run->path = path;
    run->fd = fd;
    run->emit = std::move(emit);
    run->done = std::move(done);
    // The first batch becomes the row store's entries (see RowStore::merge): made room for the whole
    // folder here, on this thread, the entries are not moved again on the UI thread each time they
    // outgrow their vector. The folder's size in bytes bounds its entry count from above on the
    // common filesystems (an entry takes at least 12 bytes of it); the room never used is never
    // touched, so it costs address space, not memory.
    if (struct stat st{}; fstat(fd, &st) == 0 && st.st_size > 0)
        run->batch.reserve(
            std::clamp<size_t>(static_cast<size_t>(st.st_size) / 12, kFirstBatch, kMaxReserve));
    work(run);
}

int FolderLister::list(const std::string& path, const EmitFn& emit) {
    struct Ended {
        std::mutex mutex;
        std::condition_variable cv;
        bool ended = false;
        int error = 0;
    };
    auto ended = std::make_shared<Ended>();
    stream(path, emit, [ended](int error) {
        std::lock_guard lock(ended->mutex);
        ended->ended = true;
        ended->error = error;
        ended->cv.notify_all();
    });
    std::unique_lock lock(ended->mutex);
    ended->cv.wait(lock, [&] { return ended->ended; });
    return ended->error;
}
bool FolderLister::statEntry(int dirFd, const char* name, unsigned char dtype, DirEntry& e) {
    return fillEntryAt(dirFd, {}, name, dtype, e);
}

int FolderLister::listNow(const std::string& path, std::vector<DirEntry>& out) {
    return list(path, [&](std::vector<DirEntry>&& batch) {
        if (out.empty()) {
            out = std::move(batch);
        } else {
            out.insert(out.end(), std::make_move_iterator(batch.begin()),
                       std::make_move_iterator(batch.end()));
        }
        return true;
    });
}

int FolderLister::statNames(const std::string& path, const std::vector<std::string>& names,
                            std::vector<DirEntry>& found, std::vector<std::string>& gone) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    for (const std::string& name : names) {
        DirEntry e;
        // A name with a slash or an empty one is no entry of this folder (the watcher never sends one).
        if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
            fillEntryAt(fd, path, name.c_str(), DT_UNKNOWN, e)) {
            found.push_back(std::move(e));
        } else {
            gone.push_back(name);
        }
    }
    close(fd);
    return 0;
}

}  // namespace kv
