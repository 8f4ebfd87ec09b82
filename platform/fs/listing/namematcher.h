#pragma once

#include <QRegularExpression>
#include <memory>
#include <string>
#include <string_view>

namespace kv {

// A compiled test of a file name (raw bytes, the base name only): a substring, a whole-name pattern
// with * and ?, or a regular expression. Accents never count ("é" matches "e", "ß" matches "ss");
// case does only when asked. A name that is not UTF-8 is compared byte by byte (ASCII letters still ignore
// case).
//
// ASCII names, nearly all of them, are compared in place; any other name is first brought to its
// folded form (prepared()), which a caller that tests the same names again and again may keep.
// matches() is const but not safe to call from several threads at once (a regex keeps match state):
// give each thread its own matcher.
class NameMatcher {
  public:
    enum class Mode { Substring, Wildcard, Regex };

    // Matches every name.
    NameMatcher() = default;
    NameMatcher(std::string_view pattern, Mode mode, bool caseSensitive);

    // Substring, or Wildcard when the text holds * or ?.
    static Mode autoMode(std::string_view pattern);
    // A name as a case-insensitive matcher compares it: accents dropped, case folded, "ß" as "ss".
    static std::string fold(std::string_view name);
    static bool isAscii(std::string_view s);

    bool matchesAll() const { return m_matchesAll; }
    // False for a regex that does not compile; error() says why.
    bool isValid() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    bool matches(std::string_view name) const;
    // Whether a name can be tested in place (matches() then costs no allocation).
    bool needsPrepared(std::string_view name) const { return !m_matchesAll && !isAscii(name); }
    // The folded form of a name, and the test on it.
    std::string prepared(std::string_view name) const;
    bool matchesPrepared(std::string_view prepared) const;

  private:
    bool matchBytes(std::string_view subject, bool lowerSubject) const;

    Mode m_mode = Mode::Substring;
    bool m_caseSensitive = false;
    bool m_matchesAll = true;
    std::string m_pattern;  // folded as names are, for substrings and wildcards
    std::shared_ptr<QRegularExpression> m_regex;
    std::string m_error;
};

}  // namespace kv
