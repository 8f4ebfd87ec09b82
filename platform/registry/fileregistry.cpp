#ifndef _WIN32

#include "platform/registry/fileregistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace kv {

namespace {

constexpr std::string_view kCurrentUserName = "HKEY_CURRENT_USER";

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

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void syncFolder(const std::string& folder) {
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &tm);
    return buf;
}

// Keeps the unreadable file under a new name. A hard link leaves the file in place until the new one
// is renamed over it, so a crash in between loses nothing; where links are not supported it is renamed.
bool keepAside(const std::string& path) {
    const std::string base = path + ".corrupt-" + utcStamp();
    for (int n = 1; n < 1000; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        if (::link(path.c_str(), target.c_str()) == 0) {
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) {
            continue;
        }
        return ::rename(path.c_str(), target.c_str()) == 0;
    }
    return false;
}

}  // namespace

FileRegistry::FileRegistry(std::string hivePath) : m_path(std::move(hivePath)) {}

std::string FileRegistry::userHivePath() {
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
}

FileRegistry::Snapshot FileRegistry::load() const {
    Snapshot snap;
    Fd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        snap.unreadable = errno != ENOENT && errno != ENOTDIR;
        return snap;
    }
    std::string text;
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            snap.unreadable = true;
            return snap;
        }
        if (n == 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
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
    const std::string folder = std::filesystem::path(m_path).parent_path().string();
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            return kRegAccessDenied;
        }
    }
    // The lock lives in its own file: the hive itself is replaced on every write, and a lock on a
    // replaced file would not exclude the next writer.
    Fd lock(::open((m_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0) {
        return kRegAccessDenied;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return kRegAccessDenied;
        }
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

    const std::string text = snap.hive.format();
    std::string temp = m_path + ".tmp-XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) {
        return kRegAccessDenied;
    }
    bool ok = writeAll(out.get(), text) && ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (ok && snap.corrupt) {
        ok = keepAside(m_path);
    }
    if (ok) {
        ok = ::rename(temp.c_str(), m_path.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return kRegAccessDenied;
    }
    syncFolder(folder);
    return kRegSuccess;
}

long FileRegistry::resolve(RegHandle parent, const std::string& subKey, std::vector<std::string>& path) const {
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

long FileRegistry::queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* size) {
    std::lock_guard guard(m_mutex);
    const auto it = m_handles.find(key);
    if (it == m_handles.end()) {
        return kRegInvalidHandle;
    }
    if (data != nullptr && size == nullptr) {
        return kRegInvalidParameter;
    }
    const Snapshot snap = load();
    if (it->second.size() > 1 && !snap.hive.hasKey(it->second)) {
        return kRegKeyDeleted;
    }
    const Hive::Value* value = snap.hive.findValue(it->second, valueName);
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

long FileRegistry::setValue(RegHandle key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t size) {
    std::lock_guard guard(m_mutex);
    const auto it = m_handles.find(key);
    if (it == m_handles.end()) {
        return kRegInvalidHandle;
    }
    if ((data == nullptr && size != 0) || !Hive::canHoldName(valueName)) {
        return kRegInvalidParameter;
    }
    const std::vector<std::string>& path = it->second;
    std::string bytes = data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
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

#endif
