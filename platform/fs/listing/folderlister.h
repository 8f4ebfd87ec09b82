#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/fs/listing/direntry.h"

namespace kv {

// Reads a folder with getdents64 and stats each entry (type, mode, size, mtime; a symlink also through
// its target), giving it its sort key: the work that FolderListingSource runs on a thread, kept here
// as plain calls on the caller's thread so benchmarks, tools and tests can use it directly.
class FolderLister {
  public:
    // Takes one batch; false stops the listing.
    using EmitFn = std::function<bool(std::vector<DirEntry>&& batch)>;
    // Takes the listing's end: 0, the errno of the failure, or ECANCELED when emit stopped it.
    using DoneFn = std::function<void(int error)>;

    // Streams the entries in batches (a small first batch so the first rows show within a frame, then
    // larger ones; whatever was read goes out after ~100 ms however few) and ends with done, called
    // once. The calls run on this thread until one blocks: an entry whose stat has not answered in
    // about a second (a hung mount point, a link into one) goes out as not answering (unanswered),
    // another thread goes on with the listing, and this call returns once the stat does, if ever.
    static void stream(const std::string& path, EmitFn emit, DoneFn done);

    // The same stream, waited for. Returns what done would be given.
    static int list(const std::string& path, const EmitFn& emit);

    // The same listing, all at once. Returns 0 or an errno.
    static int listNow(const std::string& path, std::vector<DirEntry>& out);

    // Looks at the named entries of one folder again: those that exist go to found (filled as a
    // listing fills them), the others to gone. Returns 0, or the errno of opening the folder.
    static int statNames(const std::string& path, const std::vector<std::string>& names,
                         std::vector<DirEntry>& found, std::vector<std::string>& gone);

    // Fills one entry of the open folder dirFd as a listing does (dtype: getdents' d_type, or
    // DT_UNKNOWN). False when the entry is gone.
    static bool statEntry(int dirFd, const char* name, unsigned char dtype, DirEntry& e);
};

}  // namespace kv
