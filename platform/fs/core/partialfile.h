#pragma once

#include <sys/stat.h>
#include <string>

#include "platform/fs/core/fsops.h"

namespace kv {

// A file being made: it is removed on every way out (an error, a cancel thrown through it) unless
// placed() says it has taken its final name; its descriptors are closed either way. A file made under
// its own final name is removed only while that name still reaches this very file (same device and
// inode): another program may have put its own file there in the meantime.
class PartialFile {
  public:
    explicit PartialFile(FsOps& ops) : m_ops(ops) {}
    ~PartialFile() { discard(); }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // A temporary name nobody else uses: removed without asking what is there.
    void setTemporaryName(std::string path);
    // The final name, made by this file (exclusive create, or an unnamed file just linked).
    void setOwnName(std::string path);
    // Which file this is, once known: lets discard() check the name after out is closed.
    void setIdentity(const struct stat& st);
    // The file has its final name: keep it.
    void placed() { m_path.clear(); }
    // Closes the descriptors and removes the file unless it was placed.
    void discard();
    void closeFds();

    int in = -1;
    int out = -1;

  private:
    FsOps& m_ops;
    std::string m_path;
    bool m_ownName = false;
    bool m_identityKnown = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

}  // namespace kv
