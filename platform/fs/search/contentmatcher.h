#pragma once

#include <QRegularExpression>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv {

// Whether a file's text holds a plain text or a regular expression. Files with a NUL byte in their
// first block are binary and never match, nor do files over the size limit. Plain text is found with
// memmem in large reads (ASCII letters ignore case unless asked; a text with other letters is matched
// as an escaped regular expression, which knows their cases); a regex reads the whole file.
// Not shareable between threads (its read buffer and regex state are its own): one per thread.
class ContentMatcher {
  public:
    ContentMatcher(const std::string& text, bool regex, bool caseSensitive, std::uint64_t maxSize);

    bool isValid() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    // The file `name` in the folder dirFd (not followed when it is a symlink).
    bool matchesFile(int dirFd, const char* name);
    // The same test on text already in memory (binary or not decided by the caller).
    bool matchesText(const char* data, std::size_t size);

  private:
    bool matchPlain(int fd);
    bool matchRegex(int fd);

    std::string m_needle;  // lowered when case is ignored
    bool m_ignoreCase = false;
    std::unique_ptr<QRegularExpression> m_regex;
    std::uint64_t m_maxSize;
    std::string m_error;
    std::vector<char> m_buffer;
    std::vector<char> m_lowered;
};

}  // namespace kv
