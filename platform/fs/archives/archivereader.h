#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct archive;
struct archive_entry;

namespace kv {

// One pass over an archive with libarchive: every format and compression it reads, the archive's own
// file opened by path. Owns the reading handle; closed when it goes.
class ArchiveReader {
  public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // 0, or the errno that kept the archive from opening (EILSEQ: not an archive this program reads).
    // A passphrase, when given, is tried on encrypted entries.
    int open(const std::string& path, const std::string& passphrase = {});
    // The next entry's header: true with entry set; false at the end or on a failure (see failed()).
    bool next(archive_entry*& entry);
    void skipData();
    // The reading stopped on damage or a wrong passphrase rather than at the end.
    bool failed() const { return m_failed; }
    // libarchive's words for the last failure ("Truncated input file ...").
    std::string errorText() const;
    // Whether the last failure is a missing or wrong passphrase.
    bool passphraseProblem() const;
    // The compressed bytes read so far (the archive file's position).
    std::uint64_t bytesRead() const;
    struct archive* handle() {
        return m_archive;
    }

    // The entry's path as stored, raw bytes.
    static std::string_view pathOf(archive_entry* entry);

  private:
    struct archive* m_archive;
    bool m_failed = false;
};

}  // namespace kv
