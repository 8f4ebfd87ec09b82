#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/listing/direntry.h"
#include "platform/fs/trash/trashdirs.h"
#include "platform/fs/trash/trashrecord.h"

namespace kv {

// Reads trash folders: each item in files/ with what its info/NAME.trashinfo says. The rows it makes
// are named by the item's path in the trash (names repeat across trash folders, paths do not), sort
// by the name the item had, and carry the deletion time as their time. Plain calls on the caller's
// thread; TrashListingSource runs them on threads of its own.
class TrashReader {
  public:
    // Every item of one trash folder: entries[i] goes with records[i]. An item without a readable
    // .trashinfo is listed with its origin unknown; a .trashinfo without an item is left out.
    // Returns 0 or the errno of reading files/.
    static int list(const TrashDirs::Dir& dir, std::vector<DirEntry>& entries,
                    std::vector<TrashRecord>& records);
    // One item again, by its path in the trash; false when it is gone.
    static bool look(const TrashDirs::Dir& dir, const std::string& trashedPath, DirEntry& entry,
                     TrashRecord& record);

    // The Path= and DeletionDate= of a .trashinfo's text; false when it is none (no [Trash Info]
    // group, no Path=). A relative Path= is taken from topDir; deletedNs is 0 when the date is
    // missing or unreadable.
    static bool parseInfo(std::string_view text, const std::string& topDir, std::string& originalPath,
                          std::int64_t& deletedNs);
    // "2026-12-01T10:11:12", local time, in nanoseconds since the epoch; 0 when it is no such date.
    static std::int64_t parseDate(std::string_view text);

  private:
    static void complete(const TrashDirs::Dir& dir, DirEntry& entry, TrashRecord& record);
};

}  // namespace kv
