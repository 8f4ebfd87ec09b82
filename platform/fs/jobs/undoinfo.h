#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/fs/jobs/trasheditem.h"

namespace kv {

// What a finished job did, so the UI can offer to undo it (UndoJob runs the inverse). Only what the
// job completed is listed: a cancelled move lists the items that did move.
struct UndoInfo {
    // Extract and Compress undo as a Copy does; they are kinds of their own so the offer names them.
    enum class Kind {
        None,
        Rename,
        RenameMany,
        Move,
        Copy,
        NewFolder,
        Trash,
        NewFile,
        Link,
        Download,
        Extract,
        Compress
    };
    Kind kind = Kind::None;
    // Rename, RenameMany and Move: (from, to), the item now at `to` was at `from`.
    std::vector<std::pair<std::string, std::string>> moved;
    // Copy, NewFolder, NewFile, Link, Download, Extract and Compress: the top-most items the job created.
    std::vector<std::string> created;
    // Trash: the trashed items.
    std::vector<TrashedItem> trashed;
    // Copy and Move: what a Replace answer put aside in the trash to make room; undo puts it back.
    std::vector<TrashedItem> replaced;
    // Copy and Move: what a Replace answer destroyed because it could not go to the trash (its volume
    // has none): an undo can't bring it back, and says so before it starts.
    std::vector<std::string> unrestorable;

    bool empty() const { return moved.empty() && created.empty() && trashed.empty() && replaced.empty(); }
};

}  // namespace kv
