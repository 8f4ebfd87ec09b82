#pragma once

// What both halves of RowStore use to turn rows into steps (rowstore.cpp changes the entries,
// rowstoreorder.cpp the orders shown): not for use outside it.

#include <cstddef>

#include "platform/fs/listing/rowchange.h"

namespace kv::rowsteps {

// More runs of inserted or removed rows than this become one relayout: each run is a signal that
// every view and persistent index answers, a relayout is one pass.
inline constexpr std::size_t kMaxRuns = 64;

// Sorted runs of rows, as steps: each run of marked rows.
template <typename Marked>
void runs(std::size_t count, Marked marked, RowChange::Kind kind, RowChanges& out) {
    std::size_t i = 0;
    while (i < count) {
        if (!marked(i)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end + 1 < count && marked(end + 1)) ++end;
        out.push_back({kind, static_cast<int>(i), static_cast<int>(end), 0});
        i = end + 1;
    }
}

}  // namespace kv::rowsteps
