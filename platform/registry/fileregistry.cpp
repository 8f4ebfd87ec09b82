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
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

#include "platform/registry/hivefile.h"

namespace kv {

namespace {

constexpr std::string_view kCurrentUserName = "HKEY_CURRENT_USER";

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
    static const auto kEmpty = std::make_shared<const Hive>();
    hivefile::FileIdentity identity{};
    std::string text;
    const auto unchanged = [this](const hivefile::FileIdentity& id) {
        return m_lastParse.has_value() && hivefile::sameFile(m_lastParse->identity, id);
    };
    switch (hivefile::read(m_path, kMaxFileSize, unchanged, identity, text)) {
        case hivefile::ReadResult::Unchanged:
            return m_lastParse->snapshot;
        case hivefile::ReadResult::Missing:
            return {kEmpty, FileState::Missing};
        case hivefile::ReadResult::Failed:
            return {kEmpty, FileState::Unreadable};
        case hivefile::ReadResult::NotRegular:
            return {kEmpty, FileState::NotRegular};
        case hivefile::ReadResult::TooLarge:
            return {kEmpty, FileState::Corrupt};
        case hivefile::ReadResult::Ok:
            break;
    }
    Snapshot snap{kEmpty, FileState::Corrupt};
    if (auto hive = Hive::parse(text)) {
        snap = {std::make_shared<const Hive>(std::move(*hive)), FileState::Parsed};
    }
    m_lastParse = ParsedFile{identity, snap};
    return snap;
}

long FileRegistry::update(const std::function<long(Hive&, bool&)>& change) {
    if (m_path.empty() || !hivefile::createFolderOf(m_path)) {
        return kRegAccessDenied;
    }
    long rc = kRegAccessDenied;
    // The lock lives in its own file: the hive itself is replaced on every write, and a lock on a
    // replaced file would not exclude the next writer.
    hivefile::underLock(m_path + ".lock", kLockWait, [&] {
        const Snapshot snap = load();
        // Replacing a file we could not read would lose what it holds; a pipe or a device at the path
        // was put there by the user and stays.
        if (snap.state == FileState::Unreadable || snap.state == FileState::NotRegular) {
            return;
        }
        const std::optional<std::string> target = hivefile::targetOf(m_path);
        if (!target) {
            return;
        }
        Hive hive = *snap.hive;
        bool changed = false;
        const long changeRc = change(hive, changed);
        if (changeRc != kRegSuccess || !changed) {
            rc = changeRc;
            return;
        }
        const std::string text = hive.format();
        // A larger file would read back as corrupt.
        if (text.size() <= kMaxFileSize &&
            hivefile::replace(*target, text, snap.state == FileState::Corrupt)) {
            rc = kRegSuccess;
        }
    });
    return rc;
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
        if (!Hive::canHoldName(part) || path.size() == Hive::kMaxDepth) {
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
    if (path.size() > 1 && !load().hive->hasKey(path)) {
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
    if (path.size() > 1 && !snap.hive->hasKey(path)) {
        return kRegKeyDeleted;
    }
    const Hive::Value* value = snap.hive->findValue(path, valueName);
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
