#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace kv {

// A file name (raw bytes) as text on one line: control characters (newline, tab, the rest of C0 and
// DEL) are shown escaped as C does ("a\nb" shows as `a\nb`, ESC as `\x1b`), since a line break or a
// tab in a list, a title or a message would hide what the name is, and a font may have no glyph for
// anything fancier. Bytes that are not UTF-8 show as replacement characters.
class NameText {
  public:
    static QString shown(std::string_view raw);
    // The bytes for a name the user typed over shown(raw): what the user left as it was keeps its real
    // bytes (control characters, bytes that are not UTF-8); only the part typed anew is taken as UTF-8.
    // So editing one part of such a name never changes another, and an unchanged text is raw itself.
    static QByteArray edited(const QString& text, std::string_view raw);
};

}  // namespace kv
