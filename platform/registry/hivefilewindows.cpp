#include "platform/registry/hivefile.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/hivefileos.h"

namespace kv::hivefile {

namespace {

std::wstring widen(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
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

class FileLock {
  public:
    FileLock(const std::string& path, std::chrono::milliseconds wait)
        : m_file(::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!m_file.valid() || ::GetFileType(m_file.get()) != FILE_TYPE_DISK) {
            return;
        }
        m_locked = detail::lockWithin(wait, [this] {
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

}  // namespace

namespace detail {

const char* const kPathSeparators = "\\/";

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

// Removes a temporary file of ours unless a writer still has it open (it does so without sharing).
void removeIfAbandoned(const std::string& path) {
    ::DeleteFileW(widen(path).c_str());
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

}  // namespace detail

ReadResult read(const std::string& path, std::uint64_t maxSize,
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

bool underLock(const std::string& lockPath, std::chrono::milliseconds wait,
               const std::function<void()>& body) {
    const FileLock lock(lockPath, wait);
    if (!lock.locked()) {
        return false;
    }
    body();
    return true;
}

// Where a change is written: the hive path itself, unless it holds something a write must not replace.
std::optional<std::string> targetOf(const std::string& path) {
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

}  // namespace kv::hivefile