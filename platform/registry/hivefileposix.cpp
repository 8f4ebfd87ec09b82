#include "platform/registry/hivefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/registry/hivefileos.h"

namespace kv::hivefile {

namespace {

class Fd {
  public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    // Closing reports the last write-back errors, so a write is only done once close succeeded.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

class FileLock {
  public:
    FileLock(const std::string& path, std::chrono::milliseconds wait) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            return;  // a pipe or a device put in its place is not ours to open
        }
        m_fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
        if (m_fd.get() < 0 || ::fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return;
        }
        m_locked = detail::lockWithin(wait, [this] {
            if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
                return 1;
            }
            return (errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
        });
    }
    bool locked() const { return m_locked; }

  private:
    Fd m_fd;
    bool m_locked = false;
};

// A flushed temporary file beside the hive, not yet in place. Its writer holds it locked until then,
// so that removing the temporaries of dead writers never takes a live one's.
struct TempFile {
    std::string name;
    Fd fd;
};

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::fsync(fd) == 0;
}

std::string randomSuffix() {
    static constexpr std::string_view kChars =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // Only needs to differ between writers; a name taken already is simply drawn again.
    thread_local std::mt19937 rng(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<unsigned>(::getpid()));
    std::string out;
    for (int i = 0; i < 6; ++i) {
        out += kChars[rng() % kChars.size()];
    }
    return out;
}

#ifdef O_TMPFILE
// Gives the unnamed file a temporary name beside `path`, from which it is renamed into place: linking
// cannot replace the old file, and a rename needs a name.
bool nameUnnamed(int fd, const std::string& path, std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = path + ".tmp-" + randomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST && ::linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0)) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}
#endif

// The file is written without a name where the filesystem allows (O_TMPFILE), so that a writer killed
// meanwhile leaves nothing behind; it is named only for the moment before the rename.
bool writeTemp(const std::string& path, std::string_view text, TempFile& out) {
#ifdef O_TMPFILE
    const std::string folder = detail::folderOf(path);
    out.fd.reset(::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (out.fd.get() >= 0) {
        if (::flock(out.fd.get(), LOCK_EX) != 0 || !writeAll(out.fd.get(), text)) {
            out.fd.reset();
            return false;
        }
        if (nameUnnamed(out.fd.get(), path, out.name)) {
            return true;
        }
        out.fd.reset();  // no way to name it here (no /proc, say): write a named file instead
    }
#endif
    std::string name = path + ".tmp-XXXXXX";
    out.fd.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (out.fd.get() < 0) {
        return false;
    }
    if (::flock(out.fd.get(), LOCK_EX) != 0 || !writeAll(out.fd.get(), text)) {
        ::unlink(name.c_str());
        out.fd.reset();
        return false;
    }
    out.name = std::move(name);
    return true;
}

bool replaceWith(TempFile& temp, const std::string& path) {
    const bool ok = ::rename(temp.name.c_str(), path.c_str()) == 0;
    // Written and flushed before, so closing has nothing left to report.
    temp.fd.reset();
    return ok;
}

void discard(TempFile& temp) {
    ::unlink(temp.name.c_str());
    temp.fd.reset();
}

}  // namespace

namespace detail {

const char* const kPathSeparators = "/";

std::filesystem::path fsPath(const std::string& s) {
    return std::filesystem::path(s);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

// Removes a temporary file of ours that no writer holds locked any more.
void removeIfAbandoned(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        ::unlink(path.c_str());
    }
}

bool writeAndRename(const std::string& target, std::string_view text,
                    const std::function<bool()>& beforeRename) {
    TempFile temp;
    if (!writeTemp(target, text, temp)) {
        return false;
    }
    if (!beforeRename() || !replaceWith(temp, target)) {
        discard(temp);
        return false;
    }
    return true;
}

KeepResult keepAs(const std::string& path, const std::string& target) {
    if (::link(path.c_str(), target.c_str()) == 0) {
        return KeepResult::Done;
    }
    struct stat st {};
    if (errno == EEXIST || ::lstat(target.c_str(), &st) == 0) {
        return KeepResult::NameTaken;
    }
    return ::rename(path.c_str(), target.c_str()) == 0 ? KeepResult::Done : KeepResult::Failed;
}

// The rename is only durable once the folder holding it is flushed.
void syncFolder(const std::string& folder) {
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

std::tm utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    return tm;
}

}  // namespace detail

ReadResult read(const std::string& path, std::uint64_t maxSize,
                const std::function<bool(const FileIdentity&)>& unchanged, FileIdentity& identity,
                std::string& text) {
    // Decided before opening: opening a pipe can block for ever and opening a device has effects of
    // its own. The check is repeated on the open file in case the path changed in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        return ReadResult::NotRegular;
    }
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    }
    if (::fstat(fd.get(), &st) != 0) {
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        return ReadResult::NotRegular;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    identity = {static_cast<std::uint64_t>(st.st_dev),
                static_cast<std::uint64_t>(st.st_ino),
                size,
                static_cast<std::uint64_t>(st.st_mtim.tv_sec),
                static_cast<std::uint64_t>(st.st_mtim.tv_nsec),
                static_cast<std::uint64_t>(st.st_ctim.tv_sec),
                static_cast<std::uint64_t>(st.st_ctim.tv_nsec),
                0};
    if (size > maxSize) {
        return ReadResult::TooLarge;
    }
    if (unchanged(identity)) {
        return ReadResult::Unchanged;
    }
    text.reserve(static_cast<std::size_t>(size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadResult::Failed;
        }
        if (n == 0) {
            return ReadResult::Ok;
        }
        text.append(buf, static_cast<std::size_t>(n));
        // The file may grow while it is read.
        if (text.size() > maxSize) {
            return ReadResult::TooLarge;
        }
    }
}

bool underLock(const std::string& lockPath, std::chrono::milliseconds wait,
               const std::function<void()>& body) {
    const FileLock lock(lockPath, wait);
    if (!lock.locked()) {
        return false;
    }
    body();
    return true;
}

// Where a change is written: the hive path itself, or the regular file a link there leads to, so that
// a link the user made (to a file kept with other dotfiles, say) stays a link. Nothing when the path
// holds something a write must not replace: a pipe, a device, a folder, a link to one of them, or a
// link that leads nowhere.
std::optional<std::string> targetOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? std::optional(path) : std::nullopt;
    }
    if (S_ISREG(st.st_mode)) {
        return path;
    }
    if (!S_ISLNK(st.st_mode)) {
        return std::nullopt;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return std::nullopt;
    }
    std::string target(real);
    std::free(real);
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return target;
}

}  // namespace kv::hivefile
