#include "platform/fs/search/contentmatcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QString>
#include <cstring>

#include "platform/fs/listing/namematcher.h"

namespace kv {

namespace {

constexpr std::size_t kReadSize = 1 << 20;
constexpr std::size_t kBinaryProbe = 4096;

inline char lowerAsciiChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads until the buffer from `at` is full or the file ends; -1 on an error.
ssize_t readFully(int fd, char* at, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, at + got, want - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool looksBinary(const char* data, std::size_t size) {
    return std::memchr(data, 0, std::min(size, kBinaryProbe)) != nullptr;
}

}  // namespace

ContentMatcher::ContentMatcher(const std::string& text, bool regex, bool caseSensitive, std::uint64_t maxSize)
    : m_maxSize(maxSize) {
    if (!regex && (caseSensitive || NameMatcher::isAscii(text))) {
        m_ignoreCase = !caseSensitive;
        m_needle = text;
        if (m_ignoreCase)
            for (char& c : m_needle) c = lowerAsciiChar(c);
        return;
    }
    const QString pattern = QString::fromStdString(text);
    QRegularExpression::PatternOptions options =
        QRegularExpression::MultilineOption | QRegularExpression::UseUnicodePropertiesOption;
    if (!caseSensitive) options |= QRegularExpression::CaseInsensitiveOption;
    m_regex =
        std::make_unique<QRegularExpression>(regex ? pattern : QRegularExpression::escape(pattern), options);
    if (!m_regex->isValid()) m_error = m_regex->errorString().toStdString();
}

bool ContentMatcher::matchesFile(int dirFd, const char* name) {
    if (!isValid()) return false;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool hit = false;
    // Only regular files: a FIFO or a device would block or never end.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= m_maxSize &&
        st.st_size > 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        hit = m_regex ? matchRegex(fd) : matchPlain(fd);
    }
    ::close(fd);
    return hit;
}

bool ContentMatcher::matchPlain(int fd) {
    const std::size_t keep = m_needle.empty() ? 0 : m_needle.size() - 1;
    if (m_buffer.size() < kReadSize + keep) m_buffer.resize(kReadSize + keep);
    std::size_t carried = 0;  // the end of the last read, where a match may start
    bool first = true;
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = readFully(fd, m_buffer.data() + carried, kReadSize);
        if (n <= 0) return false;
        if (first && looksBinary(m_buffer.data(), static_cast<std::size_t>(n))) return false;
        first = false;
        total += static_cast<std::uint64_t>(n);
        // The file grew past the limit while it was read.
        if (total > m_maxSize) return false;
        const std::size_t size = carried + static_cast<std::size_t>(n);
        if (matchesText(m_buffer.data(), size)) return true;
        if (static_cast<std::size_t>(n) < kReadSize) return false;
        carried = std::min(keep, size);
        std::memmove(m_buffer.data(), m_buffer.data() + size - carried, carried);
    }
}

bool ContentMatcher::matchRegex(int fd) {
    // A regex may span lines and read anywhere: the whole file, within the limit.
    std::string text;
    std::uint64_t total = 0;
    if (m_buffer.size() < kReadSize) m_buffer.resize(kReadSize);
    for (;;) {
        const ssize_t n = readFully(fd, m_buffer.data(), kReadSize);
        if (n < 0) return false;
        if (n == 0) break;
        if (total == 0 && looksBinary(m_buffer.data(), static_cast<std::size_t>(n))) return false;
        total += static_cast<std::uint64_t>(n);
        if (total > m_maxSize) return false;
        text.append(m_buffer.data(), static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < kReadSize) break;
    }
    return matchesText(text.data(), text.size());
}

bool ContentMatcher::matchesText(const char* data, std::size_t size) {
    if (m_regex) {
        return m_regex->isValid() &&
               m_regex->match(QString::fromUtf8(data, static_cast<qsizetype>(size))).hasMatch();
    }
    if (m_needle.empty()) return true;
    if (!m_ignoreCase) return ::memmem(data, size, m_needle.data(), m_needle.size()) != nullptr;
    if (m_lowered.size() < size) m_lowered.resize(size);
    for (std::size_t i = 0; i < size; ++i) m_lowered[i] = lowerAsciiChar(data[i]);
    return ::memmem(m_lowered.data(), size, m_needle.data(), m_needle.size()) != nullptr;
}

}  // namespace kv
