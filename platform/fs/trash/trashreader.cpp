#include "platform/fs/trash/trashreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "platform/fs/core/paths.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/listing/sortkey.h"
#include "platform/fs/trash/trash.h"

namespace kv {

namespace {

// A .trashinfo is a few lines; anything past this is not one.
constexpr size_t kInfoLimit = 64 * 1024;

bool readSmallFile(const std::string& path, std::string& out) {
    // Opened without waiting and read only when a regular file: a FIFO named like a .trashinfo would
    // hold the reading of the whole trash for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && out.size() < kInfoLimit)
        out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return n == 0;
}

// The path with "." and ".." parts taken out as written; empty when ".." climbs above "/".
std::string lexicallyNormal(const std::string& path) {
    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return {};
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    std::string out;
    for (const std::string_view p : parts) out.append("/").append(p);
    return out.empty() ? "/" : out;
}

std::string_view trimmedField(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

}  // namespace

std::int64_t TrashReader::parseDate(std::string_view text) {
    std::tm tm{};
    int consumed = 0;
    const std::string s(text.substr(0, 32));
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &consumed) != 6 ||
        consumed != 19 || tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31) {
        return 0;
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;  // the date is the local time of the deletion, whatever the season
    const std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t) * 1000000000LL;
}

bool TrashReader::parseInfo(std::string_view text, const std::string& topDir, std::string& originalPath,
                            std::int64_t& deletedNs) {
    bool inGroup = false;
    bool havePath = false;
    deletedNs = 0;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = trimmedField(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[Trash Info]";
            continue;
        }
        if (!inGroup) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimmedField(line.substr(0, eq));
        const std::string_view value = trimmedField(line.substr(eq + 1));
        if (key == "Path" && !havePath && !value.empty()) {
            const std::string path = Trash::decodePath(value);
            if (path.front() != '/' && topDir.empty()) continue;  // relative in the home trash: to nothing
            const std::string full = lexicallyNormal(path.front() == '/' ? path : paths::join(topDir, path));
            // A volume's trash holds items of that volume only: a path that leads off it (with "..", or
            // absolute elsewhere) is no origin to restore to.
            if (full.empty() || (!topDir.empty() && (full == topDir || !paths::isSameOrInside(full, topDir))))
                continue;
            originalPath = full;
            havePath = true;
        } else if (key == "DeletionDate") {
            deletedNs = parseDate(value);
        }
    }
    return havePath;
}

void TrashReader::complete(const TrashDirs::Dir& dir, DirEntry& entry, TrashRecord& record) {
    const std::string name = std::move(entry.name);
    record.item.trashedPath = paths::join(paths::join(dir.path, "files"), name);
    record.item.infoPath = paths::join(paths::join(dir.path, "info"), name + ".trashinfo");
    std::string text;
    if (readSmallFile(record.item.infoPath, text))
        parseInfo(text, dir.topDir, record.item.originalPath, record.deletedNs);
    const std::string shown = record.displayName();
    entry.name = record.item.trashedPath;
    entry.sortKey = SortKey::make(shown);
    entry.hidden = !shown.empty() && shown.front() == '.';
    // The trash shows when an item was deleted, not when it was last changed.
    entry.mtimeNs = record.deletedNs;
}

int TrashReader::list(const TrashDirs::Dir& dir, std::vector<DirEntry>& entries,
                      std::vector<TrashRecord>& records) {
    std::vector<DirEntry> found;
    const int error = FolderLister::listNow(paths::join(dir.path, "files"), found);
    for (DirEntry& e : found) {
        TrashRecord r;
        complete(dir, e, r);
        entries.push_back(std::move(e));
        records.push_back(std::move(r));
    }
    return error;
}

bool TrashReader::look(const TrashDirs::Dir& dir, const std::string& trashedPath, DirEntry& entry,
                       TrashRecord& record) {
    const std::string files = paths::join(dir.path, "files");
    if (paths::parentOf(trashedPath) != files) return false;
    std::vector<DirEntry> found;
    std::vector<std::string> gone;
    if (FolderLister::statNames(files, {paths::baseName(trashedPath)}, found, gone) != 0 || found.empty())
        return false;
    entry = std::move(found.front());
    complete(dir, entry, record);
    return true;
}

}  // namespace kv
