#pragma once

#include <string>
#include <string_view>

namespace kv {

// Whether a path lies on a network share or a removable drive, where reading every file of a folder
// to draw its previews would cost the user time (a slow link) or wake a drive for nothing. Read from
// the mount table and the kernel's block-device flags, never from the volume itself.
class VolumeKind {
  public:
    bool remote = false;
    bool removable = false;

    bool slow() const { return remote || removable; }

    static VolumeKind of(std::string_view path, std::string_view mountInfo,
                         const std::string& sysBlock = "/sys/class/block");
    // The mount table's type names that mean a network filesystem ("nfs4", "cifs", "fuse.sshfs", ...).
    static bool isRemoteType(std::string_view fsType);
};

}  // namespace kv
