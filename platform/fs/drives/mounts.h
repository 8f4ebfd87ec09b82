#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/drives/mountentry.h"

namespace kv {

// The source of the drive list: the user's home folder, then every mounted volume a user would call a
// drive, read from the kernel's mount table. Kernel and container plumbing (proc, sysfs, cgroups,
// devpts, debug and tracing filesystems, snap images, overlay layers, runtime tmpfs under /run) is left
// out. Reading never touches the mounted filesystems themselves, so a hung network mount cannot stall
// the caller.
class Mounts {
  public:
    // homeDir empty: $HOME, else the password database. The paths are parameters so tests can feed
    // their own mount table and label folder.
    explicit Mounts(std::string homeDir = {}, std::string mountInfoPath = "/proc/self/mountinfo",
                    std::string byLabelDir = "/dev/disk/by-label");

    // Home first, then the volumes in mount-table order; a mount point mounted over keeps only its
    // topmost mount.
    std::vector<MountEntry> entries() const;

    // The same, from mount-table text already read.
    std::vector<MountEntry> entriesFrom(std::string_view mountInfo) const;

    // Turns a drive list text back into its root: "/media/usb [STICK]" -> "/media/usb". A bare path
    // comes back unchanged; a label holding brackets ("/mnt/x [a [b]]") is removed whole.
    static std::string rootOf(std::string_view entryText);

    // The mount point that holds an absolute path, by the path's text (no link is followed), from
    // mount-table text; "/" when none is longer. Asks nothing of the mounted filesystems, so a hung
    // mount cannot stall the caller.
    static std::string mountPointOf(std::string_view path, std::string_view mountInfo);
    // The mount table's text, read from the kernel (never from a mounted filesystem).
    std::string readMountInfo() const;

    const std::string& homeDir() const { return m_home; }

  private:
    std::string m_home;
    std::string m_mountInfoPath;
    std::string m_byLabelDir;
};

}  // namespace kv
