#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

// A folder inside an archive as a location text: "archive:" + the archive's absolute path + "//" + the
// folder's path inside it ("archive:/home/u/a.zip//docs/img", "archive:/home/u/a.zip//" for its top).
// The double slash, which no normalised path holds, marks where the archive's path ends, so the text
// says what it names without a look at the disk. A row's location is its folder's text, a slash (none
// after the top's) and its name, as for a folder on disk.
struct ArchiveLocation {
    static constexpr std::string_view kScheme = "archive:";

    std::string archive;  // absolute, raw bytes
    std::string inner;    // no leading or trailing slash; empty at the top

    static bool is(std::string_view location) { return location.starts_with(kScheme); }
    // Nothing when the text is not an archive location or names no absolute archive path.
    static std::optional<ArchiveLocation> parse(std::string_view location);
    static std::string make(std::string_view archive, std::string_view inner = {});
    std::string text() const { return make(archive, inner); }
    // The folder holding this one inside the archive; the top has none.
    std::optional<ArchiveLocation> parent() const;
    // What the location shows to a person: the archive's path and the folder inside it.
    std::string shown() const { return inner.empty() ? archive : archive + "/" + inner; }

    // Whether a file of this name is an archive this program opens like a folder (by its extension:
    // zip, tar and its compressed kinds, 7z, iso, cpio, deb, rar, and the like).
    static bool isArchiveName(std::string_view name) { return archiveEnding(name) > 0; }
    // The length of the archive extension the name ends with (".tar.gz": 7), 0 when none.
    static std::size_t archiveEnding(std::string_view name);
};

}  // namespace kv
