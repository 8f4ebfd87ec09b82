#pragma once

#include <string>

namespace kv {

// One entry of the drive list.
struct MountEntry {
    std::string root;    // the folder the entry opens: a mount point, or the home folder
    std::string label;   // the volume label, else the last component of root, else the fs type
    std::string fsType;  // "ext4", "vfat", ... ("home" for the home entry)
    std::string source;  // the mounted device or remote ("/dev/sdb1", "server:/export")
    bool isHome = false;

    // The drive list's text: "ROOT [LABEL]".
    std::string text() const { return root + " [" + label + "]"; }
};

}  // namespace kv
