#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/fs/core/fsops.h"

namespace kv {

// Which names of a folder a new name would clash with: the same name, or one that differs only in
// letter case (or accents), since the user cannot tell "Report.txt" from "report.txt" apart in a list
// and a filesystem that ignores case takes them for one. Each folder is read once, the first time it is
// asked about; what the caller makes or removes there afterwards it notes here.
class NameClashes {
  public:
    explicit NameClashes(FsOps& ops) : m_ops(ops) {}

    // The name in dir that name clashes with, other than `except` (an item being renamed clashes with
    // its own old spelling); nullptr when there is none.
    const std::string* find(const std::string& dir, const std::string& name, std::string_view except = {});
    bool taken(const std::string& dir, const std::string& name) { return find(dir, name) != nullptr; }

    void noteCreated(const std::string& path);
    // A folder just made: it is empty, and will not be read.
    void noteEmptyFolder(const std::string& path);
    void noteRemoved(const std::string& path);

  private:
    using Folder = std::unordered_multimap<std::string, std::string>;  // folded -> actual name
    Folder& folder(const std::string& dir);

    FsOps& m_ops;
    std::unordered_map<std::string, Folder> m_folders;
};

}  // namespace kv
