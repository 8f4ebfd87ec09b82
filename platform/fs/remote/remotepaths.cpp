#include "platform/fs/remote/remotepaths.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/remote/remotelocation.h"

namespace kv::remotepaths {

bool isLocal(std::string_view path) {
    return path.starts_with('/');
}

giofiles::Ref<GFile> fileAt(const std::string& path) {
    if (isLocal(path)) return giofiles::Ref<GFile>::adopt(g_file_new_for_path(path.c_str()));
    return giofiles::fileOf(path);
}

std::string join(const std::string& dir, std::string_view name) {
    if (isLocal(dir)) return paths::join(dir, name);
    std::string joined = dir;
    if (!joined.ends_with('/')) joined += '/';
    joined += name;
    return joined;
}

std::string parentOf(const std::string& path) {
    if (isLocal(path)) return paths::parentOf(path);
    const std::optional<RemoteLocation> where = RemoteLocation::parse(path);
    if (!where) return path;
    const std::optional<RemoteLocation> up = where->parent();
    return up ? up->text() : where->text();
}

std::string baseName(const std::string& path) {
    if (isLocal(path)) return paths::baseName(path);
    const std::optional<RemoteLocation> where = RemoteLocation::parse(path);
    return where ? where->baseName() : std::string();
}

bool isSameOrInside(const std::string& inner, const std::string& outer) {
    if (isLocal(inner) != isLocal(outer)) return false;
    if (isLocal(inner)) return paths::isSameOrInside(inner, outer);
    const std::optional<RemoteLocation> a = RemoteLocation::parse(inner);
    const std::optional<RemoteLocation> b = RemoteLocation::parse(outer);
    if (!a || !b || a->server() != b->server()) return false;
    return b->isRoot() || a->path == b->path || a->path.starts_with(b->path + "/");
}

}  // namespace kv::remotepaths
