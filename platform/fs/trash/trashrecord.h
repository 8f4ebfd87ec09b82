#pragma once

#include <cstdint>
#include <string>

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/trasheditem.h"

namespace kv {

// What the trash knows about one item: where it is, where it came from and when it was deleted, as
// its .trashinfo says.
struct TrashRecord {
    TrashedItem item;            // originalPath empty: the .trashinfo is missing or unreadable
    std::int64_t deletedNs = 0;  // nanoseconds since the epoch; 0 when not known

    bool originKnown() const { return !item.originalPath.empty(); }
    // The name the item had, which the trash shows: its own name inside files/ may carry a number.
    std::string displayName() const {
        return paths::baseName(originKnown() ? item.originalPath : item.trashedPath);
    }
};

}  // namespace kv
