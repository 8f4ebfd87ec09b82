#pragma once

#include <cstdint>
#include <string>

namespace kv {

// What a search looks for below its start folder. Texts are UTF-8; an empty name matches every name.
struct SearchQuery {
    enum class NameMode {
        Auto,      // a substring, or a whole-name wildcard pattern when the text holds * or ?
        Wildcard,  // always a whole-name pattern
        Regex,     // a regular expression found anywhere in the name
    };
    enum class Kind { Any, FilesOnly, FoldersOnly };

    std::string name{};
    NameMode nameMode = NameMode::Auto;
    bool caseSensitive = false;

    // Searched in files that are not binary (no NUL byte in their first block), up to maxContentSize.
    std::string content{};
    bool contentRegex = false;
    std::uint64_t maxContentSize = 64ull << 20;

    Kind kind = Kind::Any;
    // Bounds on a file's size; a folder has no size of its own, so bounds leave folders out.
    std::uint64_t minSize = 0;
    std::uint64_t maxSize = UINT64_MAX;
    // Modified at or after this time (nanoseconds since the epoch); 0: any time. A moment rather than a
    // span, so "today" can start at midnight.
    std::int64_t modifiedSinceNs = 0;

    bool sizeBounded() const { return minSize > 0 || maxSize < UINT64_MAX; }

    bool includeHidden = false;     // names with a leading dot, and what is below such folders
    bool crossFilesystems = false;  // otherwise mount points are not entered
};

}  // namespace kv
