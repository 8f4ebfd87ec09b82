#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fs/archives/archiveindex.h"

namespace kv {

// The indexes of the archives opened last, so that moving between an archive's folders (and back out
// and in again) reads it once. An index is used again only while the archive file has the size and
// modification time it had when read. Shared by the listings of one view; any thread.
class ArchiveIndexCache {
  public:
    explicit ArchiveIndexCache(std::size_t capacity = 4) : m_capacity(capacity) {}

    // The archive's index, read now (on the caller's thread, which may block on the disk) unless
    // a current one is kept. A damaged or unreadable archive is read again next time.
    std::shared_ptr<const ArchiveIndex> get(const std::string& archive,
                                            const std::atomic<bool>* cancelled = nullptr);

  private:
    struct Kept {
        std::string path;
        dev_t dev = 0;
        ino_t ino = 0;
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;
        std::shared_ptr<const ArchiveIndex> index;
    };
    std::mutex m_mutex;
    std::list<Kept> m_kept;  // the most recent first
    std::size_t m_capacity;
};

}  // namespace kv
