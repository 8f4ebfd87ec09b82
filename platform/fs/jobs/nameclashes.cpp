#include "platform/fs/jobs/nameclashes.h"

#include <vector>

#include "platform/fs/core/paths.h"
#include "platform/fs/listing/sortkey.h"

namespace kv {

NameClashes::Folder& NameClashes::folder(const std::string& dir) {
    auto it = m_folders.find(dir);
    if (it != m_folders.end()) {
        return it->second;
    }
    std::vector<std::string> names;
    m_ops.listNames(dir, names);
    Folder& f = m_folders[dir];
    f.reserve(names.size());
    for (std::string& n : names) {
        f.emplace(SortKey::fold(n), std::move(n));
    }
    return f;
}

const std::string* NameClashes::find(const std::string& dir, const std::string& name,
                                     std::string_view except) {
    auto [first, last] = folder(dir).equal_range(SortKey::fold(name));
    for (auto it = first; it != last; ++it) {
        if (it->second != except) {
            return &it->second;
        }
    }
    return nullptr;
}

void NameClashes::noteCreated(const std::string& path) {
    auto it = m_folders.find(paths::parentOf(path));
    if (it == m_folders.end()) {
        return;  // not read yet: reading it will find the name
    }
    std::string name = paths::baseName(path);
    std::string folded = SortKey::fold(name);
    auto [first, last] = it->second.equal_range(folded);
    for (auto e = first; e != last; ++e) {
        if (e->second == name) {
            return;
        }
    }
    it->second.emplace(std::move(folded), std::move(name));
}

void NameClashes::noteEmptyFolder(const std::string& path) {
    m_folders[path];
}

void NameClashes::noteRemoved(const std::string& path) {
    auto it = m_folders.find(paths::parentOf(path));
    if (it == m_folders.end()) {
        return;
    }
    const std::string name = paths::baseName(path);
    auto [first, last] = it->second.equal_range(SortKey::fold(name));
    for (auto e = first; e != last; ++e) {
        if (e->second == name) {
            it->second.erase(e);
            return;
        }
    }
}

}  // namespace kv
