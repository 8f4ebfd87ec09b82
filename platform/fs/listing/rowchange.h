#pragma once

#include <cstdint>
#include <vector>

namespace kv {

// One step of a change to the rows a view shows, in the terms of Qt's item models (the file engine
// has no Qt, the adapter maps each kind to its begin/end pair). Rows are counted in the list as it is
// just before this step: steps are replayed in order.
struct RowChange {
    enum class Kind : std::uint8_t {
        Inserted,  // rows first..last are new
        Removed,   // rows first..last are gone
        Moved,     // rows first..last go before row `to` (counted before the move, as beginMoveRows)
        Changed,   // rows first..last show new data
        Relaid,    // the rows were reordered, and some may have come or gone: follow them by entry
        Reset,     // everything is gone
    };
    Kind kind = Kind::Changed;
    int first = 0;
    int last = -1;
    int to = 0;

    bool operator==(const RowChange&) const = default;
};

using RowChanges = std::vector<RowChange>;

}  // namespace kv
