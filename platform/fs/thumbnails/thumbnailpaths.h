#pragma once

#include <QByteArray>
#include <QString>

namespace kv {

// Where the desktop's shared thumbnails live and what they are named by: the file's URI, its MD5, the
// size folder. Every program that follows the thumbnail standard finds ours and we find theirs, so
// the URI must be encoded byte for byte as they encode it.
class ThumbnailPaths {
  public:
    // The standard's size classes, by their edge in pixels.
    enum Size { Normal = 128, Large = 256, XLarge = 512, XXLarge = 1024 };

    // "file://" and the path's bytes, percent-encoded as RFC 2396 wants a path (and as GLib writes
    // it): letters, digits, -_.!~*'() and /:@&=+$, stay; every other byte (space, %, #, ?, ;, bytes of
    // names that are not UTF-8, UTF-8 itself) becomes %XX with upper-case hex.
    static QByteArray uriFor(const QByteArray& path);
    // The file name of a URI's thumbnail: the lower-case hex MD5 of the URI, ".png".
    static QByteArray fileNameFor(const QByteArray& uri);
    // The smallest class whose edge holds an icon of px pixels (the largest past 1024).
    static Size sizeFor(int px);
    // "normal", "large", "x-large", "xx-large".
    static QString folderName(Size size);
    // $XDG_CACHE_HOME/thumbnails ($HOME/.cache/thumbnails when unset or not absolute).
    static QString defaultRoot();
};

}  // namespace kv
