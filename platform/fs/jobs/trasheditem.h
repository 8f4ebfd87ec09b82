#pragma once

#include <string>

namespace kv {

// Where one trashed item went, enough to put it back.
struct TrashedItem {
    std::string originalPath;  // absolute, raw bytes
    std::string trashedPath;   // .../Trash/files/NAME
    std::string infoPath;      // .../Trash/info/NAME.trashinfo
};

}  // namespace kv
