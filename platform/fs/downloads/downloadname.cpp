#include "platform/fs/downloads/downloadname.h"

#include <cstddef>

#include "platform/fs/core/siblingname.h"

namespace kv {

namespace {

constexpr std::size_t kDownloadNameMax = 255;

bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Cuts s to at most n bytes, never inside a UTF-8 sequence.
std::string cutAt(std::string s, std::size_t n) {
    if (s.size() <= n) return s;
    std::size_t end = n;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    s.resize(end);
    return s;
}

std::string trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && isSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

// One line of text with its runs of white space made single spaces.
std::string oneLine(std::string_view s) {
    std::string out;
    bool space = false;
    for (const char c : s) {
        if (isSpace(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// A desktop entry's value: its escapes for the characters a line cannot hold.
std::string escaped(std::string_view value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string DownloadName::safe(std::string_view offered, std::string_view fallback) {
    std::string name;
    name.reserve(offered.size());
    for (const char c : offered) {
        const auto u = static_cast<unsigned char>(c);
        name += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    name = trimmed(name);
    if (name.find_first_not_of('.') == std::string::npos) name.clear();  // ".", "..", nothing
    for (char& c : name) {
        if (c != '.') break;
        c = '_';
    }
    if (name.size() > kDownloadNameMax) {
        const std::size_t stem = paths::stemLength(std::string_view(name), false);
        std::string ext = name.substr(stem);
        if (ext.size() > kDownloadNameMax / 2) ext.clear();  // no real extension is that long
        name = cutAt(name.substr(0, stem), kDownloadNameMax - ext.size()) + ext;
    }
    if (name.empty()) return fallback.empty() ? std::string("download") : safe(fallback, {});
    return name;
}

std::string DownloadName::forText(std::string_view text) {
    std::string words = oneLine(text);
    // Some forty characters of it, cut after a whole word where one ends late enough.
    std::size_t chars = 0, at = 0;
    for (; at < words.size() && chars < 40; ++at)
        if ((static_cast<unsigned char>(words[at]) & 0xC0) != 0x80) ++chars;
    while (at < words.size() && (static_cast<unsigned char>(words[at]) & 0xC0) == 0x80) ++at;
    if (at < words.size()) {
        const std::size_t space = words.rfind(' ', at);
        words.resize(space != std::string::npos && space >= 20 ? space : at);
    }
    words = trimmed(words);
    return words.empty() ? std::string("text.txt") : safe(words + ".txt", "text.txt");
}

std::string DownloadName::linkFile(std::string_view title, std::string_view url) {
    const std::string name = oneLine(title);
    return "[Desktop Entry]\nType=Link\nName=" + escaped(name.empty() ? oneLine(url) : name) +
           "\nURL=" + escaped(url) + "\nIcon=text-html\n";
}

std::string DownloadName::linkFileName(std::string_view title, std::string_view url) {
    std::string name = oneLine(title);
    if (name.empty()) name = oneLine(url);
    return safe(cutAt(name, 200) + ".desktop", "link.desktop");
}

}  // namespace kv
