#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace kv {

// A file name (raw bytes) as text on one line: control characters (newline, tab, the rest of C0 and
// DEL) are shown as their Unicode control pictures ("a\nb" as "a␊b"), since a line break or a tab in
// a list, a title or a message would hide what the name is. Bytes that are not UTF-8 show as
// replacement characters; every operation keeps using the bytes.
class NameText {
  public:
    static QString shown(std::string_view raw);
    // The bytes for a name the user typed over shown(raw): raw itself when the text is unchanged;
    // otherwise the text as UTF-8, with the control pictures turned back into the characters they stood
    // for when raw held such characters (so editing one part of such a name keeps the rest).
    static QByteArray edited(const QString& text, std::string_view raw);
    static bool hasControls(std::string_view raw);
};

}  // namespace kv
