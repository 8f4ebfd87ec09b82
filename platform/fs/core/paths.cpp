#include "platform/fs/core/paths.h"

namespace kv::paths {

namespace {
constexpr size_t kNameMax = 255;
}

std::string join(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (out.empty() || out.back() != '/') {
        out.push_back('/');
    }
    out.append(name);
    return out;
}

std::string parentOf(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

std::string baseName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool isSameOrInside(std::string_view inner, std::string_view outer) {
    if (outer == "/") {
        return true;
    }
    return inner == outer || (inner.size() > outer.size() && inner.substr(0, outer.size()) == outer &&
                              inner[outer.size()] == '/');
}

std::string freeName(std::string_view name, bool isDir,
                     const std::function<bool(const std::string&)>& taken) {
    std::string_view stem = name;
    std::string_view ext;
    const size_t dot = name.rfind('.');
    if (!isDir && dot != std::string_view::npos && dot != 0) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    // An extension that leaves no room for a stem is part of the name.
    if (ext.size() + 16 > kNameMax) {
        stem = name;
        ext = {};
    }
    for (int n = 2;; ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        std::string_view s = stem;
        if (s.size() + suffix.size() + ext.size() > kNameMax) {
            s = s.substr(0, kNameMax - suffix.size() - ext.size());
            // Shortened on a character boundary: a UTF-8 sequence is never cut in two.
            while (!s.empty() && (static_cast<unsigned char>(stem[s.size()]) & 0xC0) == 0x80) {
                s.remove_suffix(1);
            }
        }
        std::string candidate = std::string(s) + suffix + std::string(ext);
        if (!taken(candidate)) {
            return candidate;
        }
    }
}

bool isValidName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= kNameMax &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace kv::paths
