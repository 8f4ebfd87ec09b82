#pragma once

#include <QByteArray>
#include <QList>

class QMimeData;

namespace kv {

// Files on the clipboard and in drags, in the formats other file managers read and write:
// text/uri-list (RFC 2483), x-special/gnome-copied-files ("copy" or "cut", then one URI a line) and
// application/x-kde-cutselection. Paths are raw bytes; a URI percent-encodes every byte outside the
// unreserved set, so a name that is not UTF-8 survives the round trip unchanged. Items inside
// archives travel in a format of our own ("archive:" URIs, which no other program reads), read
// before the others: other programs get copies of them (ArchiveMimeData).
class ClipboardFormat {
  public:
    static constexpr const char* kArchiveItems = "application/x-kestrovan-archive-items";
    static constexpr const char* kUriList = "text/uri-list";
    static constexpr const char* kGnome = "x-special/gnome-copied-files";

    struct Content {
        QList<QByteArray> paths;
        bool cut = false;
    };

    // The caller owns the result (QClipboard::setMimeData and QDrag::setMimeData take it over). Items
    // of archives go in our own format only.
    static QMimeData* toMimeData(const QList<QByteArray>& paths, bool cut);
    // Our format's text for items of archives.
    static QByteArray archiveItems(const QList<QByteArray>& locations);
    // The formats that carry files to other programs, as written for paths.
    static void setFileFormats(QMimeData* data, const QList<QByteArray>& paths, bool cut);
    // Local files only: a URI of another host or scheme is left out.
    static Content fromMimeData(const QMimeData* data);
    static bool hasFiles(const QMimeData* data);

    static QByteArray uriOf(const QByteArray& path);
    // The path of a file: URI ("file:///a", "file://localhost/a"); empty for anything else.
    static QByteArray pathOf(const QByteArray& uri);
};

}  // namespace kv
