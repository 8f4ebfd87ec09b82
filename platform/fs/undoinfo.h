#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/fs/trasheditem.h"

namespace kv {

// What a finished job did, so the UI can offer to undo it (UndoJob runs the inverse). Only what the
// job completed is listed: a cancelled move lists the items that did move.
struct UndoInfo {
    enum class Kind { None, Rename, Move, Copy, NewFolder, Trash, NewFile, Link, Download };
    Kind kind = Kind::None;
    // Rename and Move: (from, to), the item now at `to` was at `from`.
    std::vector<std::pair<std::string, std::string>> moved;
    // Copy, NewFolder, NewFile, Link and Download: the top-most items the job created.
    std::vector<std::string> created;
    // Trash: the trashed items.
    std::vector<TrashedItem> trashed;

    bool empty() const { return moved.empty() && created.empty() && trashed.empty(); }
};

}  // namespace kv
