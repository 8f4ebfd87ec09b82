#include "platform/registry/hivetext.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/registry/registryapi.h"

namespace kv::hivetext {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kComment =
    "; Kestrovan settings. \"Name\"=\"text\" is a string value of exactly this UTF-8 text, stored without\n"
    "; a terminating NUL; hex(N): lists the exact bytes of a value of type N.\n";
constexpr std::array<std::string_view, 5> kRootNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
// Keeps hex lines short enough to read, as the registry's own export does.
constexpr std::size_t kHexLineWidth = 77;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 4> kMinimum = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool hasControlBytes(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// A string value goes on a plain line only when reading that line back gives the same bytes and the
// line stays one readable line of text.
bool fitsPlainLine(std::uint32_t type, std::string_view data) {
    return type == kRegSz && !hasControlBytes(data) && isValidUtf8(data);
}

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void appendHex(std::string& out, std::string_view bytes, std::size_t lineStart) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t piece = (i + 1 < bytes.size()) ? 3 : 2;
        if (out.size() - lineStart + piece > kHexLineWidth && i > 0) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
        if (i + 1 < bytes.size()) {
            out += ',';
        }
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::uint32_t> parseHexNumber(std::string_view s) {
    if (s.empty() || s.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t v = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Reads a quoted string at the start of `s` (which starts with '"'), consuming it. A backslash escapes
// only a quote or a backslash; any other use means the line was not written by a registry export.
std::optional<std::string> takeQuoted(std::string_view& s) {
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '"' && s[i + 1] != '\\')) {
                return std::nullopt;
            }
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;
}

std::optional<std::string> parseHexBytes(std::string_view s) {
    std::string out;
    s = trim(s);
    if (s.empty()) {
        return out;
    }
    while (true) {
        const std::size_t comma = s.find(',');
        const std::string_view token = trim(s.substr(0, comma));
        if (token.empty() || token.size() > 2) {
            return std::nullopt;
        }
        const auto v = parseHexNumber(token);
        if (!v) {
            return std::nullopt;
        }
        out += static_cast<char>(*v);
        if (comma == std::string_view::npos) {
            return out;
        }
        s.remove_prefix(comma + 1);
    }
}

// Nothing when the path has more than `maxParts` parts, before building the rest of them.
std::optional<std::vector<std::string>> splitPath(std::string_view s, std::size_t maxParts) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        if (parts.size() == maxParts) {
            return std::nullopt;
        }
        const std::size_t sep = s.find('\\', start);
        parts.emplace_back(
            s.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos) {
            return parts;
        }
        start = sep + 1;
    }
}

// Hands out the text's lines one by one; a final newline is followed by one empty line.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool next(std::string_view& line) {
        if (m_pos > m_text.size()) {
            return false;
        }
        const std::size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) {
            line = m_text.substr(m_pos);
            m_pos = m_text.size() + 1;
        } else {
            line = m_text.substr(m_pos, end - m_pos);
            m_pos = end + 1;
        }
        return true;
    }

  private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool canHoldName(std::string_view name) {
    return !hasControlBytes(name) && isValidUtf8(name);
}

bool read(std::string_view text, std::size_t maxDepth, const SectionRead& onSection,
          const ValueRead& onValue) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (trim(text).empty()) {
        return true;
    }

    LineReader lines(text);
    std::string_view first;
    lines.next(first);
    if (trim(first) != kHeader) {
        return false;
    }

    // Whether the values that follow have a key to go to.
    bool inSection = false;
    std::string_view raw;
    while (lines.next(raw)) {
        std::string_view line = trim(raw);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.size() < 3 || line.back() != ']') {
                return false;
            }
            auto path = splitPath(line.substr(1, line.size() - 2), maxDepth);
            if (!path) {
                return false;
            }
            const auto root = std::find_if(kRootNames.begin(), kRootNames.end(),
                                           [&](std::string_view r) { return sameName(r, path->front()); });
            if (root == kRootNames.end() ||
                std::any_of(path->begin(), path->end(), [](const std::string& p) { return p.empty(); })) {
                return false;  // also rejects deletions ("[-HKEY_...]"), which a hive never holds
            }
            path->front() = std::string(*root);
            inSection = onSection(*path);
            continue;
        }
        if (!inSection) {
            return false;
        }

        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (line.front() == '"') {
            auto quoted = takeQuoted(line);
            if (!quoted) {
                return false;
            }
            name = std::move(*quoted);
        } else {
            return false;
        }
        line = trim(line);
        if (line.empty() || line.front() != '=') {
            return false;
        }
        line = trim(line.substr(1));

        std::uint32_t type = kRegNone;
        std::string data;
        if (!line.empty() && line.front() == '"') {
            auto quoted = takeQuoted(line);
            if (!quoted || !trim(line).empty() || !isValidUtf8(*quoted)) {
                return false;
            }
            type = kRegSz;
            data = std::move(*quoted);
        } else if (line.substr(0, 6) == "dword:") {
            const auto v = parseHexNumber(line.substr(6));
            if (!v) {
                return false;
            }
            type = kRegDword;
            for (int shift = 0; shift < 32; shift += 8) {
                data += static_cast<char>((*v >> shift) & 0xFF);
            }
        } else if (line.substr(0, 3) == "hex") {
            line.remove_prefix(3);
            type = kRegBinary;
            if (!line.empty() && line.front() == '(') {
                const std::size_t close = line.find(')');
                const auto v = close == std::string_view::npos ? std::nullopt
                                                               : parseHexNumber(line.substr(1, close - 1));
                if (!v) {
                    return false;
                }
                type = *v;
                line.remove_prefix(close + 1);
            }
            if (line.empty() || line.front() != ':') {
                return false;
            }
            line.remove_prefix(1);
            // Long byte lists continue on the next line after a trailing backslash.
            std::string bytes;
            while (!line.empty() && line.back() == '\\') {
                bytes += line.substr(0, line.size() - 1);
                if (!lines.next(raw)) {
                    return false;
                }
                line = trim(raw);
            }
            bytes += line;
            auto parsed = parseHexBytes(bytes);
            if (!parsed) {
                return false;
            }
            data = std::move(*parsed);
        } else {
            return false;  // also "=-", a deletion
        }
        onValue(name, type, std::move(data));
    }
    return true;
}

void appendHeader(std::string& out) {
    out += kHeader;
    out += "\n\n";
    out += kComment;
}

void appendSection(std::string& out, std::string_view path) {
    out += "\n[";
    out += path;
    out += "]\n";
}

void appendValue(std::string& out, std::string_view name, std::uint32_t type, std::string_view data) {
    const std::size_t lineStart = out.size();
    if (name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, name);
    }
    out += '=';
    if (fitsPlainLine(type, data)) {
        appendQuoted(out, data);
    } else if (type == kRegDword && data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) {
            n = (n << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        }
        static constexpr std::string_view kDigits = "0123456789abcdef";
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) {
            out += kDigits[(n >> shift) & 0x0F];
        }
    } else {
        out += "hex";
        if (type != kRegBinary) {
            static constexpr std::string_view kDigits = "0123456789abcdef";
            std::string typeDigits;
            for (std::uint32_t t = type; t != 0 || typeDigits.empty(); t >>= 4) {
                typeDigits.insert(typeDigits.begin(), kDigits[t & 0x0F]);
            }
            out += '(';
            out += typeDigits;
            out += ')';
        }
        out += ':';
        appendHex(out, data, lineStart);
    }
    out += '\n';
}

}  // namespace kv::hivetext
