#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "platform/fs/core/fsops.h"
#include "platform/fs/jobs/jobreport.h"
#include "platform/fs/jobs/trasheditem.h"

namespace kv {

// The desktop trash as the freedesktop.org Trash layout defines it, so the desktop's own trash can
// list and restore what we trash. An item on the home trash's filesystem goes to the home trash
// ($XDG_DATA_HOME/Trash); an item elsewhere goes to its volume's $topdir/.Trash/$UID (when an admin
// made a sticky .Trash) or $topdir/.Trash-$UID. Trashing is a rename, never a copy: an item whose
// volume has no usable trash is refused, never deleted. Used on a job thread.
class Trash {
  public:
    // homeTrash empty: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
    explicit Trash(FsOps& ops, std::string homeTrash = {});

    // Moves path (absolute) into a trash. On failure returns -errno (or -EPERM for a refusal) and
    // says why in report.
    int trash(const std::string& path, TrashedItem& out, JobReport& report);

    // Puts a trashed item back where it was, recreating missing parent folders; never replaces an
    // item that has taken its place (-EEXIST).
    int restore(const TrashedItem& item, JobReport& report);

    const std::string& homeTrash() const { return m_home; }
    // $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
    static std::string defaultHomeTrash();

    // The Path= encoding: bytes outside the URI-safe set become %XX; '/' stays.
    static std::string encodePath(std::string_view path);
    static std::string decodePath(std::string_view encoded);
    static std::string infoText(std::string_view pathValue, std::time_t deletedAt);

  private:
    int ensureDir(const std::string& path);
    int tryTrashDir(const std::string& trashDir, const std::string& path, const std::string& pathValue,
                    TrashedItem& out);
    std::string topDirOf(const std::string& dir, dev_t dev);

    FsOps& m_ops;
    std::string m_home;
};

}  // namespace kv
