#include "platform/fs/archives/archivelocation.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kv {

namespace {

// The path inside: no leading, trailing or repeated slashes.
std::string withSingleSlashes(std::string_view inner) {
    std::string out;
    out.reserve(inner.size());
    for (char c : inner)
        if (c != '/' || (!out.empty() && out.back() != '/')) out += c;
    if (!out.empty() && out.back() == '/') out.pop_back();
    return out;
}

// Repeated slashes inside the archive's own path would be taken for the separator.
std::string normalised(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/') out += c;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

}  // namespace

std::optional<ArchiveLocation> ArchiveLocation::parse(std::string_view location) {
    if (!is(location)) return std::nullopt;
    std::string_view rest = location.substr(kScheme.size());
    if (!rest.starts_with('/') || rest.starts_with("//")) return std::nullopt;
    const std::size_t split = rest.find("//");
    ArchiveLocation where;
    where.archive = normalised(rest.substr(0, split));
    if (split != std::string_view::npos) where.inner = withSingleSlashes(rest.substr(split + 2));
    if (where.archive == "/") return std::nullopt;
    return where;
}

std::string ArchiveLocation::make(std::string_view archive, std::string_view inner) {
    std::string text(kScheme);
    text += normalised(archive);
    text += "//";
    text += withSingleSlashes(inner);
    return text;
}

std::optional<ArchiveLocation> ArchiveLocation::parent() const {
    if (inner.empty()) return std::nullopt;
    ArchiveLocation up = *this;
    const std::size_t slash = inner.rfind('/');
    up.inner = slash == std::string::npos ? std::string() : inner.substr(0, slash);
    return up;
}

std::size_t ArchiveLocation::archiveEnding(std::string_view name) {
    // Longest first: ".tar.gz" before ".gz" would be found.
    static constexpr std::array<std::string_view, 22> kEndings = {
        ".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".tar.lz4", ".tar.lz", ".tar.z", ".tgz",
        ".tbz2",   ".tbz",     ".txz",    ".tzst",    ".zip",     ".tar",    ".7z",    ".iso",
        ".cpio",   ".deb",     ".rar",    ".cbz",     ".jar",     ".apk"};
    std::string lower(name.substr(name.size() > 16 ? name.size() - 16 : 0));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::string_view e : kEndings)
        if (name.size() > e.size() && lower.ends_with(e)) return e.size();
    return 0;
}

}  // namespace kv
