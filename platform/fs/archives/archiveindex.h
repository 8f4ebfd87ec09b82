#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/fs/listing/direntry.h"

namespace kv {

// What an archive holds, read once from its headers: every entry by its path inside, with the folders
// its paths imply but it does not store. Moving between the archive's folders then needs no second
// reading. An entry whose path leaves the archive (a ".." part, an absolute path) has no place among
// the folders: it is counted, never listed. Immutable once read; shared between threads.
class ArchiveIndex {
  public:
    struct Item {
        std::string path;  // normalised: no "./", no leading or trailing slash
        std::string linkTarget;
        std::uint64_t size = 0;
        std::int64_t mtimeNs = 0;
        mode_t mode = 0;
        bool isDir = false;
        bool isSymlink = false;
        bool encrypted = false;
        bool implied = false;  // a folder only the paths below it name
    };

    // Reads the headers (cancelled: checked between entries; a cancelled reading is left unfinished).
    static std::shared_ptr<const ArchiveIndex> read(const std::string& archive,
                                                    const std::atomic<bool>* cancelled = nullptr);

    // The entries of one folder inside ("" the top); found is false when there is no such folder.
    std::vector<DirEntry> list(std::string_view folder, bool* found = nullptr) const;
    const Item* find(std::string_view path) const;
    const std::vector<Item>& items() const { return m_items; }

    // 0 when the archive could be read at all, else the errno (EILSEQ: not an archive this reads).
    int error() const { return m_error; }
    // libarchive's words for why the reading stopped early: the archive is damaged (or its entries'
    // names are encrypted). What was read before is here.
    const std::string& damage() const { return m_damage; }
    bool damaged() const { return !m_damage.empty(); }
    bool encrypted() const { return m_encrypted; }
    std::size_t unsafeEntries() const { return m_unsafe; }
    std::uint64_t totalSize() const { return m_totalSize; }

    // The entry's path made relative and plain; empty with unsafe set when it would leave the archive.
    static std::string normalise(std::string_view raw, bool& unsafe);

  private:
    void add(Item item);
    void addImpliedParents(const std::string& path);

    std::vector<Item> m_items;
    std::unordered_map<std::string, std::uint32_t> m_byPath;
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_children;  // folder -> entries
    std::int64_t m_archiveMtimeNs = 0;
    int m_error = 0;
    std::string m_damage;
    bool m_encrypted = false;
    std::size_t m_unsafe = 0;
    std::uint64_t m_totalSize = 0;
};

}  // namespace kv
