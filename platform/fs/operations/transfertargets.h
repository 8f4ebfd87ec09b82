#pragma once

#include <sys/stat.h>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/operations/transfertarget.h"

namespace kv {

class JobContext;

// Where the items of one transfer go: a name that is taken (also one that differs only in letter
// case) goes to the resolver, and the answer decides the target (replace, merge, another name, or
// none). Knows the folders the job made and the names it placed, so a clash is looked up on disk only
// where something else could have put it.
class TransferTargets {
  public:
    TransferTargets(JobContext& ctx, bool move);

    // False when the item is not to go anywhere (Skip, or a move onto itself). firstLook: the first
    // question for this item, before anything was tried; in a folder the job made, the disk need not
    // be asked then.
    bool resolve(const std::string& src, const struct stat& st, TransferTarget& dest, bool firstLook = false);
    // A case-only clash the user agreed to replace goes once the new item has its name.
    void removeReplaced(const TransferTarget& dest);

    // What a Replace answer replaces goes to the trash first (the home trash given, or the desktop's
    // when empty), so an undo brings it back. Without this it is replaced outright.
    void keepReplacedIn(std::string homeTrash) { m_replacedTrash = std::move(homeTrash); }
    // For a target whose Replace was answered before keepReplacedIn (a download asks at once but
    // replaces only once complete): puts what it replaces aside now, freeing the name.
    void putAsideReplaced(TransferTarget& dest);

    void noteCreated(const std::string& path, bool isDir);
    void noteRemoved(const std::string& path);
    bool madeByJob(const std::string& dir) const { return m_createdDirs.count(dir) != 0; }

  private:
    bool putAside(const std::string& existing);

    JobContext& m_ctx;
    std::optional<std::string> m_replacedTrash;
    bool m_move;
    NameClashes m_names;
    std::unordered_set<std::string> m_createdDirs;
};

}  // namespace kv
