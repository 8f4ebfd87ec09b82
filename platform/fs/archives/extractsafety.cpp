#include "platform/fs/archives/extractsafety.h"

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <vector>

#include "platform/fs/core/paths.h"

namespace kv {

namespace {

std::vector<std::string> partsOf(const std::string& path) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) out.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

}  // namespace

bool ExtractSafety::linkStaysInside(const std::string& rel, const std::string& target) {
    if (target.empty() || target.starts_with('/')) return false;
    // The link's own folder, then each part of the target, as the system will follow them.
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t slash; (slash = rel.find('/', start)) != std::string::npos; start = slash + 1)
        parts.push_back(rel.substr(start, slash - start));
    start = 0;
    for (;;) {
        const std::size_t slash = target.find('/', start);
        const std::string part =
            target.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

bool ExtractSafety::linkLeadsInside(FsOps& ops, const std::string& root, const std::string& linkPath,
                                    const std::string& target) {
    const std::string here = paths::parentOf(linkPath);
    if (!paths::isSameOrInside(here, root)) return false;
    std::vector<std::string> at = partsOf(here.substr(std::min(here.size(), root.size())));
    std::deque<std::string> todo;
    for (std::string& p : partsOf(target)) todo.push_back(std::move(p));
    bool missing = false;
    int hops = 0;
    while (!todo.empty()) {
        const std::string part = std::move(todo.front());
        todo.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            if (missing || at.empty()) return false;
            at.pop_back();
            continue;
        }
        if (!missing) {
            std::string path = root;
            for (const std::string& p : at) path = paths::join(path, p);
            path = paths::join(path, part);
            struct stat st {};
            std::string text;
            if (ops.lstat(path, st) != 0) {
                missing = true;
            } else if (S_ISLNK(st.st_mode)) {
                if (++hops > 40 || ops.readlink(path, text) != 0 || text.empty() || text.front() == '/')
                    return false;
                const std::vector<std::string> more = partsOf(text);
                todo.insert(todo.begin(), more.begin(), more.end());
                continue;
            }
        }
        at.push_back(part);
    }
    return true;
}

mode_t ExtractSafety::currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

}  // namespace kv
