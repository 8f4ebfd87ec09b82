#include "platform/fs/archives/archiveindex.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include "platform/fs/archives/archivereader.h"
#include "platform/fs/listing/sortkey.h"

namespace kv {

namespace {

std::string_view parentPart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string_view baseOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ArchiveIndex::normalise(std::string_view raw, bool& unsafe) {
    unsafe = raw.starts_with('/');
    std::string out;
    out.reserve(raw.size());
    while (!raw.empty()) {
        const std::size_t slash = raw.find('/');
        const std::string_view part = raw.substr(0, slash);
        raw = slash == std::string_view::npos ? std::string_view() : raw.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") unsafe = true;
        if (!out.empty()) out += '/';
        out += part;
    }
    if (unsafe) out.clear();
    return out;
}

std::shared_ptr<const ArchiveIndex> ArchiveIndex::read(const std::string& archive,
                                                       const std::atomic<bool>* cancelled) {
    auto index = std::make_shared<ArchiveIndex>();
    struct stat st {};
    if (::stat(archive.c_str(), &st) == 0)
        index->m_archiveMtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    ArchiveReader reader;
    if (const int e = reader.open(archive); e != 0) {
        index->m_error = e;
        return index;
    }
    archive_entry* entry = nullptr;
    while (reader.next(entry)) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) return index;
        bool unsafe = false;
        Item item;
        item.path = normalise(ArchiveReader::pathOf(entry), unsafe);
        if (unsafe) {
            ++index->m_unsafe;
        } else if (!item.path.empty()) {
            const mode_t type = archive_entry_filetype(entry);
            item.mode = archive_entry_mode(entry);
            item.isDir = type == AE_IFDIR;
            item.isSymlink = type == AE_IFLNK;
            if (item.isSymlink && archive_entry_symlink(entry))
                item.linkTarget = archive_entry_symlink(entry);
            item.size = item.isDir
                            ? 0
                            : static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
            if (const char* hard = archive_entry_hardlink(entry)) {
                // Another name of a file before it (tar): listed as that file, with its size.
                bool outside = false;
                item.linkTarget = normalise(hard, outside);
                if (outside) item.linkTarget = hard;
                item.isDir = item.isSymlink = false;
                item.mode = (item.mode & 07777) | S_IFREG;
                if (const Item* file = index->find(item.linkTarget); file && !outside) item.size = file->size;
            }
            item.mtimeNs = archive_entry_mtime(entry) * 1000000000LL + archive_entry_mtime_nsec(entry);
            item.encrypted = archive_entry_is_encrypted(entry);
            index->m_encrypted = index->m_encrypted || item.encrypted;
            index->add(std::move(item));
        }
        reader.skipData();
        if (reader.failed()) break;
    }
    if (reader.failed()) {
        index->m_damage = reader.errorText();
        if (index->m_damage.empty()) index->m_damage = "unreadable data";
    }
    return index;
}

void ArchiveIndex::add(Item item) {
    m_totalSize += item.size;
    if (auto it = m_byPath.find(item.path); it != m_byPath.end()) {
        // A later entry of the same path replaces the earlier one, as extracting it would.
        Item& old = m_items[it->second];
        m_totalSize -= old.size;
        old = std::move(item);
        return;
    }
    addImpliedParents(item.path);
    const auto id = static_cast<std::uint32_t>(m_items.size());
    m_byPath.emplace(item.path, id);
    m_children[std::string(parentPart(item.path))].push_back(id);
    m_items.push_back(std::move(item));
}

void ArchiveIndex::addImpliedParents(const std::string& path) {
    const std::string_view parent = parentPart(path);
    if (parent.empty() || m_byPath.count(std::string(parent))) return;
    addImpliedParents(std::string(parent));
    Item dir;
    dir.path = std::string(parent);
    dir.isDir = true;
    dir.implied = true;
    dir.mode = S_IFDIR | 0755;
    dir.mtimeNs = m_archiveMtimeNs;
    const auto id = static_cast<std::uint32_t>(m_items.size());
    m_byPath.emplace(dir.path, id);
    m_children[std::string(parentPart(dir.path))].push_back(id);
    m_items.push_back(std::move(dir));
}

const ArchiveIndex::Item* ArchiveIndex::find(std::string_view path) const {
    const auto it = m_byPath.find(std::string(path));
    return it == m_byPath.end() ? nullptr : &m_items[it->second];
}

std::vector<DirEntry> ArchiveIndex::list(std::string_view folder, bool* found) const {
    std::vector<DirEntry> out;
    const auto it = m_children.find(std::string(folder));
    const Item* self = folder.empty() ? nullptr : find(folder);
    if (found) *found = folder.empty() || (self && self->isDir);
    if (it == m_children.end()) return out;
    out.reserve(it->second.size());
    for (const std::uint32_t id : it->second) {
        const Item& item = m_items[id];
        DirEntry e;
        e.name = std::string(baseOf(item.path));
        e.sortKey = SortKey::make(e.name);
        e.size = item.size;
        e.mtimeNs = item.mtimeNs;
        e.mode = item.mode;
        e.isDir = item.isDir;
        e.isSymlink = item.isSymlink;
        e.hidden = e.name.starts_with('.');
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace kv
