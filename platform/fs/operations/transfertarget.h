#pragma once

#include <string>

namespace kv {

// Where one item of a transfer goes, as the clash questions decided it.
struct TransferTarget {
    std::string path;
    bool replace = false;  // the user agreed to replace what has this name
    bool merge = false;    // copy into the existing folder at path
    std::string existing;  // a case-only clash the user agreed to replace: removed after placing
};

}  // namespace kv
