#include "platform/fs/listing/namematcher.h"

#include <QString>
#include <algorithm>

#include "platform/fs/listing/sortkey.h"

namespace kv {

namespace {

inline char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The index after the character starting at i: UTF-8 continuation bytes belong to it.
inline std::size_t nextChar(std::string_view s, std::size_t i) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

bool isValidUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUtf8() ==
           QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// Decomposed (compatibility forms too: a ligature is its letters) with its accents dropped. Qt's case
// folding is the simple one, a character for a character; the full one's few extra folds that
// decomposition does not already give are made here: "ß" and "ẞ" are "ss", and the Greek iota
// subscript, a mark, is the iota it stands for rather than an accent.
QString withoutAccents(std::string_view name) {
    const QString decomposed = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
                                   .normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size() + 2);
    for (QChar ch : decomposed) {
        switch (ch.unicode()) {
            case 0x00DF:  // ß
                bare.append(QLatin1String("ss"));
                break;
            case 0x1E9E:  // ẞ
                bare.append(QLatin1String("SS"));
                break;
            case 0x0345:  // the iota subscript
                bare.append(QChar(0x03B9));
                break;
            default:
                if (!ch.isMark()) bare.append(ch);
        }
    }
    return bare;
}

// The case-sensitive form of a name: accents dropped from UTF-8, other bytes as they are.
std::string caseKept(std::string_view name) {
    if (NameMatcher::isAscii(name) || !isValidUtf8(name)) return std::string(name);
    return withoutAccents(name).toStdString();
}

// A whole-name pattern: * any run (also empty), ? one character.
bool globMatch(std::string_view s, std::string_view p, bool lowerSubject) {
    std::size_t si = 0, pi = 0;
    std::size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = ++pi;
            starS = si;
        } else if (pi < p.size() && p[pi] == '?') {
            si = nextChar(s, si);
            ++pi;
        } else if (pi < p.size() && p[pi] == (lowerSubject ? lowered(s[si]) : s[si])) {
            ++si;
            ++pi;
        } else if (starP != std::string_view::npos) {
            pi = starP;
            starS = nextChar(s, starS);
            si = starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

std::string NameMatcher::fold(std::string_view name) {
    if (isAscii(name) || !isValidUtf8(name)) return SortKey::fold(name);  // ASCII letters lowered
    return withoutAccents(name).toCaseFolded().toStdString();
}

bool NameMatcher::isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

NameMatcher::Mode NameMatcher::autoMode(std::string_view pattern) {
    return pattern.find_first_of("*?") == std::string_view::npos ? Mode::Substring : Mode::Wildcard;
}

NameMatcher::NameMatcher(std::string_view pattern, Mode mode, bool caseSensitive)
    : m_mode(mode), m_caseSensitive(caseSensitive) {
    m_matchesAll = pattern.empty() ||
                   (mode == Mode::Wildcard && pattern.find_first_not_of('*') == std::string_view::npos);
    if (m_matchesAll) return;
    if (mode == Mode::Regex) {
        QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
        if (!caseSensitive) options |= QRegularExpression::CaseInsensitiveOption;
        m_regex = std::make_shared<QRegularExpression>(
            QString::fromUtf8(pattern.data(), static_cast<qsizetype>(pattern.size())), options);
        if (!m_regex->isValid()) m_error = m_regex->errorString().toStdString();
        return;
    }
    m_pattern = caseSensitive ? caseKept(pattern) : fold(pattern);
}

std::string NameMatcher::prepared(std::string_view name) const {
    if (m_mode == Mode::Regex || m_caseSensitive) return caseKept(name);
    return fold(name);
}

bool NameMatcher::matchBytes(std::string_view s, bool lowerSubject) const {
    if (m_mode == Mode::Wildcard) return globMatch(s, m_pattern, lowerSubject);
    if (!lowerSubject) return s.find(m_pattern) != std::string_view::npos;
    return std::search(s.begin(), s.end(), m_pattern.begin(), m_pattern.end(),
                       [](char a, char b) { return lowered(a) == b; }) != s.end();
}

bool NameMatcher::matchesPrepared(std::string_view p) const {
    if (m_matchesAll) return true;
    if (m_mode == Mode::Regex) {
        if (!m_regex->isValid()) return false;
        return m_regex->match(QString::fromUtf8(p.data(), static_cast<qsizetype>(p.size()))).hasMatch();
    }
    return matchBytes(p, false);
}

bool NameMatcher::matches(std::string_view name) const {
    if (m_matchesAll) return true;
    if (!isAscii(name)) return matchesPrepared(prepared(name));
    if (m_mode == Mode::Regex) {
        if (!m_regex->isValid()) return false;
        return m_regex->match(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())))
            .hasMatch();
    }
    return matchBytes(name, !m_caseSensitive);
}

}  // namespace kv
