#include "platform/registry/hivefile.h"

#include <algorithm>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/registry/hivefileos.h"

namespace kv::hivefile {

namespace detail {

std::string folderOf(const std::string& path) {
    const std::size_t sep = path.find_last_of(kPathSeparators);
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

}  // namespace detail

namespace {

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

// Keeps the unreadable file under a new name. A hard link leaves the file in place until the new one
// is renamed over it, so a crash in between loses nothing; where links are not supported it is moved.
bool keepAside(const std::string& path) {
    const std::tm tm = detail::utcNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = path + ".corrupt-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        switch (detail::keepAs(path, n == 1 ? base : base + "-" + std::to_string(n))) {
            case detail::KeepResult::Done:
                return true;
            case detail::KeepResult::NameTaken:
                continue;
            case detail::KeepResult::Failed:
                return false;
        }
    }
    return false;
}

// Temporary files are only made under the lock, so any found while holding it belong to writers that
// were killed before renaming theirs; each is still checked to be ours and unheld before it goes.
void removeAbandonedTemporaries(const std::string& path) {
    const std::size_t sep = path.find_last_of(detail::kPathSeparators);
    const std::size_t baseStart = sep == std::string::npos ? 0 : sep + 1;
    const std::string base = path.substr(baseStart);
    const std::string folder = detail::folderOf(path);
    for (const std::string& name : detail::namesIn(folder.empty() ? "." : folder)) {
        if (isTemporaryOf(name, base)) {
            detail::removeIfAbandoned(path.substr(0, baseStart) + name);
        }
    }
}

}  // namespace

bool sameFile(const FileIdentity& last, const FileIdentity& now) {
    return now[1] != 0 && last == now;
}

bool createFolderOf(const std::string& path) {
    const std::string folder = detail::folderOf(path);
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(detail::fsPath(folder), ec);
    }
    return !ec;
}

bool replace(const std::string& target, std::string_view text, bool keepOldAside) {
    removeAbandonedTemporaries(target);
    if (!detail::writeAndRename(target, text, [&] { return !keepOldAside || keepAside(target); })) {
        return false;
    }
    detail::syncFolder(detail::folderOf(target));
    return true;
}

}  // namespace kv::hivefile
