#include "platform/fs/archives/archivereader.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace kv {

ArchiveReader::ArchiveReader() : m_archive(archive_read_new()) {
    archive_read_support_filter_all(m_archive);
    archive_read_support_format_all(m_archive);
}

ArchiveReader::~ArchiveReader() {
    archive_read_free(m_archive);
}

int ArchiveReader::open(const std::string& path, const std::string& passphrase) {
    if (!passphrase.empty()) archive_read_add_passphrase(m_archive, passphrase.c_str());
    // Large blocks: reading is what extracting a big archive mostly waits for.
    if (archive_read_open_filename(m_archive, path.c_str(), 256 * 1024) == ARCHIVE_OK) return 0;
    m_failed = true;
    const int e = archive_errno(m_archive);
    // libarchive says "not a format it knows" with EILSEQ (its ARCHIVE_ERRNO_FILE_FORMAT) or -1.
    return e > 0 ? e : EILSEQ;
}

bool ArchiveReader::next(archive_entry*& entry) {
    for (;;) {
        const int r = archive_read_next_header(m_archive, &entry);
        if (r == ARCHIVE_OK || r == ARCHIVE_WARN) return true;
        if (r == ARCHIVE_EOF) return false;
        // A failed entry may still be followed by readable ones; a fatal one ends the reading.
        m_failed = true;
        if (r == ARCHIVE_FATAL) return false;
    }
}

void ArchiveReader::skipData() {
    if (archive_read_data_skip(m_archive) == ARCHIVE_FATAL) m_failed = true;
}

std::string ArchiveReader::errorText() const {
    const char* text = archive_error_string(m_archive);
    return text ? text : std::string();
}

bool ArchiveReader::passphraseProblem() const {
    const std::string text = errorText();
    return text.find("assphrase") != std::string::npos || text.find("password") != std::string::npos ||
           text.find("ecryption") != std::string::npos;
}

std::uint64_t ArchiveReader::bytesRead() const {
    const la_int64_t n = archive_filter_bytes(m_archive, -1);
    return n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

std::string_view ArchiveReader::pathOf(archive_entry* entry) {
    // Names that are not in the locale's character set still have their bytes here.
    const char* p = archive_entry_pathname(entry);
    if (!p) p = archive_entry_pathname_utf8(entry);
    return p ? std::string_view(p) : std::string_view();
}

}  // namespace kv
