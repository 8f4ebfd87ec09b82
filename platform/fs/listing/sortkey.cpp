#include "platform/fs/listing/sortkey.h"

#include <QString>

namespace kv {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isUtf8Key(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > s.size()) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 0x2) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

}  // namespace

std::string SortKey::fold(std::string_view name) {
    if (isAscii(name) || !isUtf8Key(name)) {
        // Bytes that are not UTF-8 keep their value: the order among them is arbitrary but stable.
        std::string out(name);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return out;
    }
    const QString decomposed = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
                                   .normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (QChar ch : decomposed) {
        if (!ch.isMark()) {
            bare.append(ch);
        }
    }
    return bare.toCaseFolded().toStdString();
}

std::string SortKey::make(std::string_view name) {
    const std::string folded = fold(name);
    std::string key;
    key.reserve(folded.size() + 4);
    size_t i = 0;
    while (i < folded.size()) {
        char c = folded[i];
        if (c < '0' || c > '9') {
            key.push_back(c);
            ++i;
            continue;
        }
        // A digit run becomes '0', its significant length, its significant digits: a longer number
        // sorts after a shorter one, equal lengths compare digit by digit, and the run still sorts
        // where a digit would among other characters.
        size_t end = i;
        while (end < folded.size() && folded[end] >= '0' && folded[end] <= '9') {
            ++end;
        }
        size_t first = i;
        while (first < end && folded[first] == '0') {
            ++first;
        }
        const size_t digits = end - first;
        key.push_back('0');
        key.push_back(static_cast<char>(digits > 254 ? 255 : digits + 1));
        key.append(folded, first, digits);
        i = end;
    }
    return key;
}

std::string SortKey::extension(std::string_view name) {
    const size_t start = name.rfind('/') + 1;  // a relative path's base name (npos + 1 is 0)
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot <= start || dot + 1 == name.size()) {
        return {};
    }
    return fold(name.substr(dot + 1));
}

}  // namespace kv
