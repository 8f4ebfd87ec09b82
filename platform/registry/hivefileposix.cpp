#include "platform/registry/hivefile.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <thread>

namespace kv::hivefile {

namespace {

#ifdef _WIN32
constexpr const char* kPathSeparators = "\\/";
#else
constexpr const char* kPathSeparators = "/";
#endif

// The few file operations that differ between POSIX and Windows. Paths are UTF-8.

std::string folderOf(const std::string& path) {
    const std::size_t sep = path.find_last_of(kPathSeparators);
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

enum class KeepResult { Done, NameTaken, Failed };

// Our temporary files are "<file>.tmp-" and letters, digits and dashes; nothing else is ever removed.
bool isTemporaryOf(const std::string& name, const std::string& base) {
    const std::string prefix = base + ".tmp-";
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 32 || name.rfind(prefix, 0) != 0) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
    });
}

// Waits for the lock in short steps, so that a program holding it for long cannot freeze the caller.
template <typename TryLock>
bool lockWithin(std::chrono::milliseconds wait, TryLock&& tryLock) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        switch (tryLock()) {
            case 1:
                return true;
            case -1:
                return false;
            default:
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

#ifdef _WIN32

std::wstring widen(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::filesystem::path fsPath(const std::string& s) {
    return std::filesystem::path(widen(s));
}

// The names in a folder, as UTF-8. (The MinGW runtime's std::filesystem::directory_iterator corrupts
// the heap when its paths are freed, so the folder is read with the system's own calls.)
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW(widen(folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            std::string name(static_cast<std::size_t>(n), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name.data(), n, nullptr, nullptr);
            name.resize(static_cast<std::size_t>(n - 1));
            names.push_back(std::move(name));
        }
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

class Handle {
  public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() {
        if (valid()) {
            ::CloseHandle(m_h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_h; }
    bool close() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return ::CloseHandle(h) != 0;
    }

  private:
    HANDLE m_h;
};

// Readers share delete access, so a writer can rename a new file over the one being read.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Reads the regular file at `path` unless `unchanged` recognises its identity.
ReadResult readHive(const std::string& path, std::uint64_t maxSize,
                    const std::function<bool(const FileIdentity&)>& unchanged, FileIdentity& identity,
                    std::string& text) {
    Handle f(::CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) {
        const DWORD err = ::GetLastError();
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? ReadResult::Missing
                                                                            : ReadResult::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(f.get()) != FILE_TYPE_DISK) {
        return ReadResult::NotRegular;
    }
    if (!::GetFileInformationByHandle(f.get(), &info)) {
        return ReadResult::Failed;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return ReadResult::NotRegular;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    // The change time moves with every write and rename, like st_ctime; the creation time is left
    // out, as a file renamed over another may inherit the old one's (tunnelling). Without a change
    // time the file number is dropped, so that the file is always read.
    FILE_BASIC_INFO basic{};
    const bool haveChangeTime =
        ::GetFileInformationByHandleEx(f.get(), FileBasicInfo, &basic, sizeof basic) != 0;
    identity = {info.dwVolumeSerialNumber,
                haveChangeTime ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0,
                size,
                static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart),
                static_cast<std::uint64_t>(basic.ChangeTime.QuadPart),
                0,
                0,
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
        DWORD n = 0;
        if (!::ReadFile(f.get(), buf, sizeof buf, &n, nullptr)) {
            return ReadResult::Failed;
        }
        if (n == 0) {
            return ReadResult::Ok;
        }
        text.append(buf, n);
        if (text.size() > maxSize) {
            return ReadResult::TooLarge;
        }
    }
}

class FileLock {
  public:
    FileLock(const std::string& path, std::chrono::milliseconds wait)
        : m_file(::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!m_file.valid() || ::GetFileType(m_file.get()) != FILE_TYPE_DISK) {
            return;
        }
        m_locked = lockWithin(wait, [this] {
            OVERLAPPED whole{};
            if (::LockFileEx(m_file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                             MAXDWORD, &whole)) {
                return 1;
            }
            return ::GetLastError() == ERROR_LOCK_VIOLATION ? 0 : -1;
        });
    }
    bool locked() const { return m_locked; }

  private:
    Handle m_file;
    bool m_locked = false;
};

// A flushed temporary file beside the hive, not yet in place.
struct TempFile {
    std::string name;
};

// Removes a temporary file of ours unless a writer still has it open (it does so without sharing).
void removeIfAbandoned(const std::string& path) {
    ::DeleteFileW(widen(path).c_str());
}

// Where a change is written: the hive path itself, unless it holds something a write must not replace.
std::optional<std::string> writeTarget(const std::string& path) {
    const DWORD attrs = ::GetFileAttributesW(widen(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = ::GetLastError();
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? std::optional(path)
                                                                            : std::nullopt;
    }
    if ((attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    return path;
}

bool writeTemp(const std::string& path, std::string_view text, TempFile& out) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp =
            path + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
        Handle f(::CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f.valid()) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return false;
        }
        bool ok = true;
        while (ok && !text.empty()) {
            DWORD n = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
            ok = ::WriteFile(f.get(), text.data(), chunk, &n, nullptr) != 0;
            text.remove_prefix(n);
        }
        ok = ok && ::FlushFileBuffers(f.get()) != 0;
        ok = f.close() && ok;
        if (!ok) {
            ::DeleteFileW(widen(temp).c_str());
            return false;
        }
        out.name = temp;
        return true;
    }
    return false;
}

bool replaceWith(TempFile& temp, const std::string& path) {
    // A reader that has the old file open (without the lock) can hold up the replacement for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::MoveFileExW(widen(temp.name).c_str(), widen(path).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD err = ::GetLastError();
        if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) {
            return false;
        }
        ::Sleep(10);
    }
    return false;
}

void discard(TempFile& temp) {
    ::DeleteFileW(widen(temp.name).c_str());
}

KeepResult keepAs(const std::string& path, const std::string& target) {
    if (::CreateHardLinkW(widen(target).c_str(), widen(path).c_str(), nullptr)) {
        return KeepResult::Done;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        return KeepResult::NameTaken;
    }
    if (::MoveFileExW(widen(path).c_str(), widen(target).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return KeepResult::Done;
    }
    const DWORD err = ::GetLastError();
    return (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) ? KeepResult::NameTaken
                                                                     : KeepResult::Failed;
}

void syncFolder(const std::string&) {}  // MOVEFILE_WRITE_THROUGH already waited for the rename

std::tm utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_s(&tm, &now);
    return tm;
}

#else

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

// Reads the regular file at `path` unless `unchanged` recognises its identity.
ReadResult readHive(const std::string& path, std::uint64_t maxSize,
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
        m_locked = lockWithin(wait, [this] {
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
    const std::string folder = folderOf(path);
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

// Where a change is written: the hive path itself, or the regular file a link there leads to, so that
// a link the user made (to a file kept with other dotfiles, say) stays a link. Nothing when the path
// holds something a write must not replace: a pipe, a device, a folder, a link to one of them, or a
// link that leads nowhere.
std::optional<std::string> writeTarget(const std::string& path) {
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

#endif

// Keeps the unreadable file under a new name. A hard link leaves the file in place until the new one
// is renamed over it, so a crash in between loses nothing; where links are not supported it is moved.
bool keepAside(const std::string& path) {
    const std::tm tm = utcNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = path + ".corrupt-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        switch (keepAs(path, n == 1 ? base : base + "-" + std::to_string(n))) {
            case KeepResult::Done:
                return true;
            case KeepResult::NameTaken:
                continue;
            case KeepResult::Failed:
                return false;
        }
    }
    return false;
}

// Temporary files are only made under the lock, so any found while holding it belong to writers that
// were killed before renaming theirs; each is still checked to be ours and unheld before it goes.
void removeAbandonedTemporaries(const std::string& path) {
    const std::size_t sep = path.find_last_of(kPathSeparators);
    const std::size_t baseStart = sep == std::string::npos ? 0 : sep + 1;
    const std::string base = path.substr(baseStart);
    const std::string folder = folderOf(path);
    for (const std::string& name : namesIn(folder.empty() ? "." : folder)) {
        if (isTemporaryOf(name, base)) {
            removeIfAbandoned(path.substr(0, baseStart) + name);
        }
    }
}

}  // namespace

bool sameFile(const FileIdentity& last, const FileIdentity& now) {
    return now[1] != 0 && last == now;
}

ReadResult read(const std::string& path, std::uint64_t maxSize,
                const std::function<bool(const FileIdentity&)>& unchanged, FileIdentity& identity,
                std::string& text) {
    return readHive(path, maxSize, unchanged, identity, text);
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

std::optional<std::string> targetOf(const std::string& path) {
    return writeTarget(path);
}

bool createFolderOf(const std::string& path) {
    const std::string folder = folderOf(path);
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(fsPath(folder), ec);
    }
    return !ec;
}

bool replace(const std::string& target, std::string_view text, bool keepOldAside) {
    removeAbandonedTemporaries(target);
    TempFile temp;
    if (!writeTemp(target, text, temp)) {
        return false;
    }
    if ((keepOldAside && !keepAside(target)) || !replaceWith(temp, target)) {
        discard(temp);
        return false;
    }
    syncFolder(folderOf(target));
    return true;
}

}  // namespace kv::hivefile
