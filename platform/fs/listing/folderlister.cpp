#include "platform/fs/listing/folderlister.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/fs/listing/sortkey.h"

namespace kv {

namespace {

constexpr size_t kListBuffer = 256 * 1024;
constexpr size_t kFirstBatch = 200;
constexpr size_t kMaxBatch = 8192;
constexpr size_t kMaxReserve = 4'000'000;
constexpr auto kMaxBatchDelay = std::chrono::milliseconds(40);

bool fillEntryAt(int dirFd, const char* name, unsigned char dtype, DirEntry& e) {
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

}  // namespace

int FolderLister::list(const std::string& path, const EmitFn& emit) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::unique_ptr<char[]> buf(new char[kListBuffer]);
    std::vector<DirEntry> batch;
    // The first batch becomes the row store's entries (see RowStore::merge): made room for the whole
    // folder here, on this thread, the entries are not moved again on the UI thread each time they
    // outgrow their vector. The folder's size in bytes bounds its entry count from above on the
    // common filesystems (an entry takes at least 12 bytes of it); the room never used is never
    // touched, so it costs address space, not memory.
    if (struct stat st{}; fstat(fd, &st) == 0 && st.st_size > 0)
        batch.reserve(std::clamp<size_t>(static_cast<size_t>(st.st_size) / 12, kFirstBatch, kMaxReserve));
    size_t batchLimit = kFirstBatch;
    auto lastEmit = std::chrono::steady_clock::now();
    int error = 0;
    for (;;) {
        const ssize_t n = getdents64(fd, buf.get(), kListBuffer);
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
            if (fillEntryAt(fd, name, d->d_type, e)) {
                batch.push_back(std::move(e));
            }
            if (batch.size() >= batchLimit ||
                (batch.size() >= 64 && std::chrono::steady_clock::now() - lastEmit > kMaxBatchDelay)) {
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

bool FolderLister::statEntry(int dirFd, const char* name, unsigned char dtype, DirEntry& e) {
    return fillEntryAt(dirFd, name, dtype, e);
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
            fillEntryAt(fd, name.c_str(), DT_UNKNOWN, e)) {
            found.push_back(std::move(e));
        } else {
            gone.push_back(name);
        }
    }
    close(fd);
    return 0;
}

}  // namespace kv
