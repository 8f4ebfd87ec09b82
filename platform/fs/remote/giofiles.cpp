#include "platform/fs/remote/giofiles.h"

#include <sys/stat.h>
#include <cerrno>

#include "platform/fs/listing/sortkey.h"
#include "platform/fs/remote/gioerrors.h"
#include "platform/fs/remote/remotelocation.h"

namespace kv::giofiles {

const char* const kEntryAttributes = G_FILE_ATTRIBUTE_STANDARD_NAME
    "," G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_SIZE
    "," G_FILE_ATTRIBUTE_STANDARD_IS_HIDDEN "," G_FILE_ATTRIBUTE_STANDARD_IS_SYMLINK
    "," G_FILE_ATTRIBUTE_TIME_MODIFIED "," G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC "," G_FILE_ATTRIBUTE_UNIX_MODE;

Failure take(GError* error) {
    Failure f;
    if (!error) return f;
    f.error = gioerrors::errnoOf(error);
    // A cancel is said by no one: it has no words.
    if (f.error != ECANCELED) f.message = error->message ? error->message : "";
    f.notMounted = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_MOUNTED);
    g_error_free(error);
    return f;
}

Ref<GFile> fileOf(const std::string& location) {
    const std::optional<RemoteLocation> where = RemoteLocation::parse(location);
    if (!where) return {};
    // The whole address, its path escaped (the back end gets the raw bytes back): which mount a file
    // is on can depend on its path, as an smb share's does, or a WebDAV place below the server's root.
    return Ref<GFile>::adopt(g_file_new_for_uri(where->uri().c_str()));
}

DirEntry entryOf(GFileInfo* info) {
    DirEntry e;
    e.name = g_file_info_get_name(info);
    e.sortKey = SortKey::make(e.name);
    const GFileType type = g_file_info_get_file_type(info);
    e.isSymlink = g_file_info_get_is_symlink(info);
    e.isDir = type == G_FILE_TYPE_DIRECTORY;
    e.isBrokenLink = e.isSymlink && type == G_FILE_TYPE_SYMBOLIC_LINK;
    e.size = static_cast<std::uint64_t>(g_file_info_get_size(info));
    e.hidden = g_file_info_get_is_hidden(info) || e.name.starts_with('.');
    if (g_file_info_has_attribute(info, G_FILE_ATTRIBUTE_TIME_MODIFIED)) {
        const auto secs =
            static_cast<std::int64_t>(g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_TIME_MODIFIED));
        const auto usecs = static_cast<std::int64_t>(
            g_file_info_get_attribute_uint32(info, G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC));
        e.mtimeNs = secs * 1'000'000'000 + usecs * 1'000;
    }
    const mode_t kind = e.isSymlink ? S_IFLNK : e.isDir ? S_IFDIR : S_IFREG;
    if (g_file_info_has_attribute(info, G_FILE_ATTRIBUTE_UNIX_MODE)) {
        const auto mode =
            static_cast<mode_t>(g_file_info_get_attribute_uint32(info, G_FILE_ATTRIBUTE_UNIX_MODE));
        e.mode = kind | (mode & 07777);
    } else {
        e.mode = kind | (e.isDir ? 0755 : 0644);
    }
    return e;
}

}  // namespace kv::giofiles
