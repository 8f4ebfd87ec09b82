#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kv::paths {

// Where a name's extension starts: the last dot that is not the first character, with the archive
// suffixes ".tar.gz" and the like taken as one extension; the name's length when it has none. A folder
// has no extension. Works on raw bytes and on UTF-16 text alike, so the rename editor selects what a
// new name would keep.
template <typename Char>
std::size_t stemLength(std::basic_string_view<Char> name, bool isDir) {
    if (isDir) return name.size();
    const std::size_t dot = name.rfind(Char('.'));
    if (dot == std::basic_string_view<Char>::npos || dot == 0) return name.size();
    // ".tar" just before a compression suffix belongs to the extension.
    static constexpr std::string_view compressed[] = {"gz", "xz", "bz2", "zst", "lz", "lzma", "z"};
    const std::basic_string_view<Char> ext = name.substr(dot + 1);
    auto lower = [](Char c) { return c >= Char('A') && c <= Char('Z') ? Char(c - 'A' + 'a') : c; };
    auto same = [&](std::basic_string_view<Char> a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t k = 0; k < a.size(); ++k)
            if (lower(a[k]) != Char(b[k])) return false;
        return true;
    };
    for (std::string_view c : compressed) {
        if (!same(ext, c) || dot < 5) continue;
        if (same(name.substr(dot - 4, 4), ".tar") && dot - 4 != 0) return dot - 4;
    }
    return dot;
}

// A name for a new item beside `name` that says what it is: "name (copy).ext", then "name (copy 2).ext"
// and on while taken() rejects it. Within the 255-byte limit of a name, by shortening the stem.
std::string siblingName(std::string_view name, bool isDir, std::string_view word,
                        const std::function<bool(const std::string&)>& taken);

}  // namespace kv::paths
