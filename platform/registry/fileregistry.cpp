#include "platform/registry/fileregistry.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
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

namespace kv {

namespace {

constexpr std::string_view kCurrentUserName = "HKEY_CURRENT_USER";
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

enum class ReadResult { Ok, Missing, Failed };
enum class KeepResult { Done, NameTaken, Failed };

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

ReadResult readWhole(const std::string& path, std::string& text) {
    Handle f(::CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) {
        const DWORD err = ::GetLastError();
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? ReadResult::Missing
                                                                            : ReadResult::Failed;
    }
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
    }
}

class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : m_file(::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        OVERLAPPED whole{};
        m_locked = m_file.valid() &&
                   ::LockFileEx(m_file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    }
    bool locked() const { return m_locked; }

  private:
    Handle m_file;
    bool m_locked = false;
};

std::string writeTemp(const std::string& path, std::string_view text) {
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
            return {};
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
            return {};
        }
        return temp;
    }
    return {};
}

bool replaceWith(const std::string& temp, const std::string& path) {
    // A reader that has the old file open (without the lock) can hold up the replacement for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::MoveFileExW(widen(temp).c_str(), widen(path).c_str(),
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

void removeFile(const std::string& path) {
    ::DeleteFileW(widen(path).c_str());
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

class Fd {
  public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closing reports the last write-back errors, so a write is only done once close succeeded.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

ReadResult readWhole(const std::string& path, std::string& text) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    }
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
    }
}

class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (m_fd.get() < 0) {
            return;
        }
        int rc;
        while ((rc = ::flock(m_fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        m_locked = rc == 0;
    }
    bool locked() const { return m_locked; }

  private:
    Fd m_fd;
    bool m_locked = false;
};

std::string writeTemp(const std::string& path, std::string_view text) {
    std::string temp = path + ".tmp-XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) {
        return {};
    }
    bool ok = true;
    while (ok && !text.empty()) {
        const ssize_t n = ::write(out.get(), text.data(), text.size());
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    ok = ok && ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return {};
    }
    return temp;
}

bool replaceWith(const std::string& temp, const std::string& path) {
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
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

}  // namespace

FileRegistry::FileRegistry(std::string hivePath) : m_path(std::move(hivePath)) {}

std::string FileRegistry::userHivePath() {
#ifdef _WIN32
    // Only the tests use a hive file on Windows, where the settings live in the registry itself.
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') {
        return {};
    }
    const std::wstring wide(appData);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string base(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), base.data(), n, nullptr,
                          nullptr);
    return base + "\\Kestrovan\\settings.reg";
#else
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        std::string home;
        if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
            home = h;
        } else {
            passwd pw{};
            passwd* found = nullptr;
            std::string buf(16384, '\0');
            if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr) {
                home = found->pw_dir;
            }
        }
        if (home.empty()) {
            // Without a home there is nowhere per-user to keep settings; an empty path reads as an
            // empty store and every write fails.
            return {};
        }
        base = home + "/.config";
    }
    return base + "/Kestrovan/settings.reg";
#endif
}

FileRegistry::Snapshot FileRegistry::load() const {
    Snapshot snap;
    std::string text;
    switch (readWhole(m_path, text)) {
        case ReadResult::Missing:
            return snap;
        case ReadResult::Failed:
            snap.unreadable = true;
            return snap;
        case ReadResult::Ok:
            break;
    }
    if (auto hive = Hive::parse(text)) {
        snap.hive = std::move(*hive);
    } else {
        snap.corrupt = true;
    }
    return snap;
}

long FileRegistry::update(const std::function<long(Hive&, bool&)>& change) {
    if (m_path.empty()) {
        return kRegAccessDenied;
    }
    const std::string folder = folderOf(m_path);
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(fsPath(folder), ec);
        if (ec) {
            return kRegAccessDenied;
        }
    }
    // The lock lives in its own file: the hive itself is replaced on every write, and a lock on a
    // replaced file would not exclude the next writer.
    const FileLock lock(m_path + ".lock");
    if (!lock.locked()) {
        return kRegAccessDenied;
    }

    Snapshot snap = load();
    if (snap.unreadable) {
        return kRegAccessDenied;  // replacing a file we could not read would lose what it holds
    }
    bool changed = false;
    const long rc = change(snap.hive, changed);
    if (rc != kRegSuccess || !changed) {
        return rc;
    }

    const std::string temp = writeTemp(m_path, snap.hive.format());
    if (temp.empty()) {
        return kRegAccessDenied;
    }
    if ((snap.corrupt && !keepAside(m_path)) || !replaceWith(temp, m_path)) {
        removeFile(temp);
        return kRegAccessDenied;
    }
    syncFolder(folder);
    return kRegSuccess;
}

long FileRegistry::resolve(RegHandle parent, const std::string& subKey,
                           std::vector<std::string>& path) const {
    if (parent == kRegCurrentUser) {
        path = {std::string(kCurrentUserName)};
    } else {
        const auto it = m_handles.find(parent);
        if (it == m_handles.end()) {
            return kRegInvalidHandle;
        }
        path = it->second;
    }
    if (subKey.empty()) {
        return kRegSuccess;
    }
    if (subKey.front() == '\\') {
        return kRegBadPathname;
    }
    std::size_t start = 0;
    while (start < subKey.size()) {
        std::size_t sep = subKey.find('\\', start);
        if (sep == std::string::npos) {
            sep = subKey.size();
        }
        const std::string part = subKey.substr(start, sep - start);
        if (part.empty()) {
            return kRegBadPathname;
        }
        if (!Hive::canHoldName(part)) {
            return kRegInvalidParameter;
        }
        path.push_back(part);
        start = sep + 1;  // a single trailing backslash names the same key
    }
    return kRegSuccess;
}

RegHandle FileRegistry::addHandle(std::vector<std::string> path) {
    const RegHandle h = m_nextHandle;
    m_nextHandle += 4;
    m_handles.emplace(h, std::move(path));
    return h;
}

long FileRegistry::openKey(RegHandle parent, const std::string& subKey, RegHandle* result) {
    std::lock_guard guard(m_mutex);
    if (result == nullptr) {
        return kRegInvalidParameter;
    }
    *result = 0;
    std::vector<std::string> path;
    if (const long rc = resolve(parent, subKey, path); rc != kRegSuccess) {
        return rc;
    }
    if (path.size() > 1 && !load().hive.hasKey(path)) {
        return kRegFileNotFound;
    }
    *result = addHandle(std::move(path));
    return kRegSuccess;
}

long FileRegistry::createKey(RegHandle parent, const std::string& subKey, RegHandle* result) {
    std::lock_guard guard(m_mutex);
    if (result == nullptr) {
        return kRegInvalidParameter;
    }
    *result = 0;
    std::vector<std::string> path;
    if (const long rc = resolve(parent, subKey, path); rc != kRegSuccess) {
        return rc;
    }
    if (path.size() > 1) {
        const long rc = update([&](Hive& hive, bool& changed) {
            changed = hive.createKey(path);
            return kRegSuccess;
        });
        if (rc != kRegSuccess) {
            return rc;
        }
    }
    *result = addHandle(std::move(path));
    return kRegSuccess;
}

long FileRegistry::queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) {
    std::lock_guard guard(m_mutex);
    std::vector<std::string> path;
    if (const long rc = resolve(key, {}, path); rc != kRegSuccess) {
        return rc;
    }
    if (data != nullptr && size == nullptr) {
        return kRegInvalidParameter;
    }
    const Snapshot snap = load();
    if (path.size() > 1 && !snap.hive.hasKey(path)) {
        return kRegKeyDeleted;
    }
    const Hive::Value* value = snap.hive.findValue(path, valueName);
    if (value == nullptr) {
        return kRegFileNotFound;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return kRegMoreData;
        }
        std::memcpy(data, value->data.data(), needed);
    }
    if (size != nullptr) {
        *size = needed;
    }
    return kRegSuccess;
}

long FileRegistry::setValue(RegHandle key, const std::string& valueName, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t size) {
    std::lock_guard guard(m_mutex);
    std::vector<std::string> path;
    if (const long rc = resolve(key, {}, path); rc != kRegSuccess) {
        return rc;
    }
    if ((data == nullptr && size != 0) || !Hive::canHoldName(valueName)) {
        return kRegInvalidParameter;
    }
    std::string bytes =
        data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    return update([&](Hive& hive, bool& changed) {
        if (path.size() > 1 && !hive.hasKey(path)) {
            return kRegKeyDeleted;  // removed by someone else since it was opened
        }
        hive.createKey(path);
        hive.setValue(path, valueName, type, std::move(bytes));
        changed = true;
        return kRegSuccess;
    });
}

long FileRegistry::closeKey(RegHandle key) {
    std::lock_guard guard(m_mutex);
    if (key == kRegCurrentUser) {
        return kRegSuccess;
    }
    return m_handles.erase(key) == 1 ? kRegSuccess : kRegInvalidHandle;
}

}  // namespace kv
