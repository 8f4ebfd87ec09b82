#include "platform/fs/folderlister.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/fs/errortext.h"
#include "platform/fs/sortkey.h"

namespace kv {

struct FolderLister::State {
    std::atomic<bool> cancelled{false};
    // Held while a callback runs, so cancel() returning means no callback is running or will run.
    // Recursive because a callback may itself cancel the lister.
    std::recursive_mutex callbackMutex;
    BatchFn onBatch;
    DoneFn onDone;
};

namespace {

constexpr size_t kBufferSize = 256 * 1024;
constexpr size_t kFirstBatch = 200;
constexpr size_t kMaxBatch = 8192;
constexpr auto kMaxBatchDelay = std::chrono::milliseconds(40);

bool fillEntry(int dirFd, const char* name, unsigned char dtype, DirEntry& e) {
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

// Reads the folder; emit(batch, final) decides what to do with each batch and returns false to stop.
template <typename Emit>
int listFolder(const std::string& path, const std::atomic<bool>* cancelled, Emit emit) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::unique_ptr<char[]> buf(new char[kBufferSize]);
    std::vector<DirEntry> batch;
    size_t batchLimit = kFirstBatch;
    auto lastEmit = std::chrono::steady_clock::now();
    int error = 0;
    for (;;) {
        const ssize_t n = getdents64(fd, buf.get(), kBufferSize);
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        for (ssize_t off = 0; off < n;) {
            auto* d = reinterpret_cast<struct dirent64*>(buf.get() + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) {
                continue;
            }
            DirEntry e;
            if (fillEntry(fd, name, d->d_type, e)) {
                batch.push_back(std::move(e));
            }
            if (batch.size() >= batchLimit ||
                (batch.size() >= 64 && std::chrono::steady_clock::now() - lastEmit > kMaxBatchDelay)) {
                if (cancelled && cancelled->load()) {
                    close(fd);
                    return ECANCELED;
                }
                if (!emit(std::move(batch))) {
                    close(fd);
                    return ECANCELED;
                }
                batch = {};
                batch.reserve(batchLimit);
                batchLimit = std::min(batchLimit * 4, kMaxBatch);
                lastEmit = std::chrono::steady_clock::now();
            }
        }
    }
    close(fd);
    if (!batch.empty() && !emit(std::move(batch))) {
        return ECANCELED;
    }
    return error;
}

}  // namespace

FolderLister::FolderLister() = default;

FolderLister::~FolderLister() {
    cancel();
}

void FolderLister::cancel() {
    if (!m_state) {
        return;
    }
    m_state->cancelled = true;
    {
        std::lock_guard lock(m_state->callbackMutex);
        m_state->onBatch = nullptr;
        m_state->onDone = nullptr;
    }
    m_state.reset();
}

void FolderLister::start(const std::string& path, BatchFn onBatch, DoneFn onDone) {
    cancel();
    auto state = std::make_shared<State>();
    state->onBatch = std::move(onBatch);
    state->onDone = std::move(onDone);
    m_state = state;
    std::thread([state, path] {
        const int error = listFolder(path, &state->cancelled, [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(state->callbackMutex);
            if (state->cancelled || !state->onBatch) {
                return false;
            }
            state->onBatch(std::move(batch));
            return true;
        });
        std::lock_guard lock(state->callbackMutex);
        if (!state->cancelled && state->onDone) {
            DoneFn done = state->onDone;
            done(error, error ? errorText(error) : std::string());
        }
    }).detach();
}

int FolderLister::listNow(const std::string& path, std::vector<DirEntry>& out) {
    return listFolder(path, nullptr, [&](std::vector<DirEntry>&& batch) {
        if (out.empty()) {
            out = std::move(batch);
        } else {
            out.insert(out.end(), std::make_move_iterator(batch.begin()),
                       std::make_move_iterator(batch.end()));
        }
        return true;
    });
}

}  // namespace kv
