#include "platform/fs/archives/archiveindexcache.h"

#include <sys/stat.h>

namespace kv {

std::shared_ptr<const ArchiveIndex> ArchiveIndexCache::get(const std::string& archive,
                                                           const std::atomic<bool>* cancelled) {
    struct stat st {};
    if (::stat(archive.c_str(), &st) != 0) return ArchiveIndex::read(archive, cancelled);
    const std::int64_t mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
            if (it->path != archive) continue;
            if (it->dev == st.st_dev && it->ino == st.st_ino && it->size == st.st_size &&
                it->mtimeNs == mtime) {
                m_kept.splice(m_kept.begin(), m_kept, it);
                return it->index;
            }
            m_kept.erase(it);
            break;
        }
    }
    // Read outside the lock: another archive's listing need not wait for this one.
    std::shared_ptr<const ArchiveIndex> index = ArchiveIndex::read(archive, cancelled);
    if (index->error() != 0 || index->damaged() || (cancelled && cancelled->load())) return index;
    std::lock_guard lock(m_mutex);
    m_kept.push_front({archive, st.st_dev, st.st_ino, st.st_size, mtime, index});
    if (m_kept.size() > m_capacity) m_kept.pop_back();
    return index;
}

}  // namespace kv
