#include "platform/qt/nametext.h"

namespace kv {

namespace {

constexpr char16_t kPictures = 0x2400;  // U+2400..U+241F stand for 0x00..0x1F
constexpr char16_t kDelPicture = 0x2421;

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

}  // namespace

bool NameText::hasControls(std::string_view raw) {
    for (const char c : raw)
        if (isControl(static_cast<unsigned char>(c))) return true;
    return false;
}

QString NameText::shown(std::string_view raw) {
    QString text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    if (!hasControls(raw)) return text;
    // Control characters are ASCII: UTF-8 decoding keeps each as one UTF-16 unit in place.
    for (QChar& ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x20)
            ch = QChar(char16_t(kPictures + u));
        else if (u == 0x7f)
            ch = QChar(kDelPicture);
    }
    return text;
}

QByteArray NameText::edited(const QString& text, std::string_view raw) {
    if (text == shown(raw)) return QByteArray(raw.data(), static_cast<qsizetype>(raw.size()));
    if (!hasControls(raw)) return text.toUtf8();
    QString back = text;
    for (QChar& ch : back) {
        const char16_t u = ch.unicode();
        if (u >= kPictures && u < kPictures + 0x20)
            ch = QChar(char16_t(u - kPictures));
        else if (u == kDelPicture)
            ch = QChar(char16_t(0x7f));
    }
    return back.toUtf8();
}

}  // namespace kv
