#include "platform/qt/common/nametext.h"

#include <vector>

namespace kv {

namespace {

// One character of a name: the bytes it came from and the text it shows as.
struct Piece {
    std::string_view bytes;
    QString text;
};

QString escaped(unsigned char c) {
    switch (c) {
        case '\a':
            return QStringLiteral("\\a");
        case '\b':
            return QStringLiteral("\\b");
        case '\t':
            return QStringLiteral("\\t");
        case '\n':
            return QStringLiteral("\\n");
        case '\v':
            return QStringLiteral("\\v");
        case '\f':
            return QStringLiteral("\\f");
        case '\r':
            return QStringLiteral("\\r");
        default:
            return QStringLiteral("\\x%1").arg(c, 2, 16, QChar('0'));
    }
}

// The length of the UTF-8 sequence at s (a valid one: no overlong form, no surrogate, at most
// U+10FFFF), or 0 when it is not one.
size_t sequenceLength(std::string_view s) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = b(0);
    size_t n = 0;
    char32_t cp = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        n = 2;
        cp = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        n = 3;
        cp = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        n = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3f);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) ||
        (n == 4 && (cp < 0x10000 || cp > 0x10ffff)))
        return 0;
    return n;
}

std::vector<Piece> pieces(std::string_view raw) {
    std::vector<Piece> out;
    out.reserve(raw.size());
    for (size_t k = 0; k < raw.size();) {
        const auto c = static_cast<unsigned char>(raw[k]);
        if (c < 0x80) {
            out.push_back({raw.substr(k, 1), c < 0x20 || c == 0x7f ? escaped(c) : QString(QChar(c))});
            ++k;
            continue;
        }
        const size_t n = sequenceLength(raw.substr(k));
        const std::string_view bytes = raw.substr(k, n ? n : 1);
        out.push_back({bytes, n ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(n))
                                : QString(QChar::ReplacementCharacter)});
        k += bytes.size();
    }
    return out;
}

bool plain(std::string_view raw) {
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7f) return false;
    }
    return true;
}

}  // namespace

QString NameText::shown(std::string_view raw) {
    // Most names are printable ASCII: no per-character work for them.
    if (plain(raw)) return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
    QString text;
    for (const Piece& p : pieces(raw)) text += p.text;
    return text;
}

QByteArray NameText::edited(const QString& text, std::string_view raw) {
    if (plain(raw)) return text.toUtf8();
    const std::vector<Piece> all = pieces(raw);
    // The characters the edit left alone at the start and at the end keep their bytes.
    size_t front = 0;
    qsizetype at = 0;
    while (front < all.size() && QStringView(text).mid(at).startsWith(all[front].text)) {
        at += all[front].text.size();
        ++front;
    }
    size_t back = all.size();
    qsizetype end = text.size();
    while (back > front && end - all[back - 1].text.size() >= at &&
           QStringView(text).first(end).endsWith(all[back - 1].text)) {
        end -= all[back - 1].text.size();
        --back;
    }
    QByteArray out;
    for (size_t k = 0; k < front; ++k)
        out.append(all[k].bytes.data(), static_cast<qsizetype>(all[k].bytes.size()));
    out += text.mid(at, end - at).toUtf8();
    for (size_t k = back; k < all.size(); ++k)
        out.append(all[k].bytes.data(), static_cast<qsizetype>(all[k].bytes.size()));
    return out;
}

}  // namespace kv
