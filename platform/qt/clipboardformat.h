#pragma once

#include <QByteArray>
#include <QList>

class QMimeData;

namespace kv {

// Files on the clipboard and in drags, in the formats other file managers read and write:
// text/uri-list (RFC 2483), x-special/gnome-copied-files ("copy" or "cut", then one URI a line) and
// application/x-kde-cutselection. Paths are raw bytes; a URI percent-encodes every byte outside the
// unreserved set, so a name that is not UTF-8 survives the round trip unchanged.
class ClipboardFormat {
  public:
    struct Content {
        QList<QByteArray> paths;
        bool cut = false;
    };

    // The caller owns the result (QClipboard::setMimeData and QDrag::setMimeData take it over).
    static QMimeData* toMimeData(const QList<QByteArray>& paths, bool cut);
    // Local files only: a URI of another host or scheme is left out.
    static Content fromMimeData(const QMimeData* data);
    static bool hasFiles(const QMimeData* data);

    static QByteArray uriOf(const QByteArray& path);
    // The path of a file: URI ("file:///a", "file://localhost/a"); empty for anything else.
    static QByteArray pathOf(const QByteArray& uri);
};

}  // namespace kv
