#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/fs/core/fsops.h"

namespace kv {

// Where trashed items are: the home trash and each mounted volume's own trash folders, as the
// freedesktop.org Trash layout places them.
class TrashDirs {
  public:
    struct Dir {
        std::string path;    // the trash folder, holding files/ and info/
        std::string topDir;  // the volume's top folder, which a relative Path= starts from; empty: home
    };
    using TopDirsFn = std::function<std::vector<std::string>()>;

    // homeTrash empty: the user's ($XDG_DATA_HOME/Trash). topDirs: the volumes' top folders to look
    // at; empty: every mounted volume (the mount table is read, no volume touched).
    explicit TrashDirs(std::string homeTrash = {}, TopDirsFn topDirs = {});

    const std::string& homeTrash() const { return m_home; }
    std::vector<std::string> topDirs() const;

    // The home trash when it is a folder (not a link) whose files/ and info/ are no links either.
    std::vector<Dir> home(FsOps& ops) const;
    // A volume's trash folders that exist and are safe to use: $top/.Trash/$UID when $top/.Trash is a
    // sticky folder and not a link, and $top/.Trash-$UID when it is our own folder; in both, files/ and
    // info/ must be our own folders, not links. Touches the volume:
    // call it off the UI thread (a hung mount stalls it).
    static std::vector<Dir> ofVolume(FsOps& ops, const std::string& top);
    // All of them, each folder once (a volume mounted twice, a home trash on a volume's top).
    std::vector<Dir> all(FsOps& ops) const;

    // Whether the trash folder is a folder, not a link, and its files/ and info/ are folders of our own,
    // not links (or not there). Checked again right before anything in it is deleted.
    static bool holdsSafely(FsOps& ops, const std::string& trashDir);

    // The Dir a trash folder's path stands for, from the path alone.
    Dir dirOf(const std::string& trashDir) const;

  private:
    std::string m_home;
    TopDirsFn m_topDirs;
};

}  // namespace kv
