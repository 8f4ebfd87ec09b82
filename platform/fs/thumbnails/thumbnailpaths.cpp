#include "platform/fs/thumbnails/thumbnailpaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <cstdlib>

namespace kv {

namespace {

bool keptInPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '_':
        case '.':
        case '!':
        case '~':
        case '*':
        case '\'':
        case '(':
        case ')':
        case '/':
        case ':':
        case '@':
        case '&':
        case '=':
        case '+':
        case '$':
        case ',':
            return true;
        default:
            return false;
    }
}

}  // namespace

QByteArray ThumbnailPaths::uriFor(const QByteArray& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    uri.reserve(7 + path.size() * 3);
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInPath(c)) {
            uri.append(ch);
        } else {
            uri.append('%');
            uri.append(kHex[c >> 4]);
            uri.append(kHex[c & 15]);
        }
    }
    return uri;
}

QByteArray ThumbnailPaths::fileNameFor(const QByteArray& uri) {
    return QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
}

ThumbnailPaths::Size ThumbnailPaths::sizeFor(int px) {
    if (px <= Normal) return Normal;
    if (px <= Large) return Large;
    if (px <= XLarge) return XLarge;
    return XXLarge;
}

QString ThumbnailPaths::folderName(Size size) {
    switch (size) {
        case Normal:
            return QStringLiteral("normal");
        case Large:
            return QStringLiteral("large");
        case XLarge:
            return QStringLiteral("x-large");
        case XXLarge:
            return QStringLiteral("xx-large");
    }
    return QStringLiteral("normal");
}

QString ThumbnailPaths::defaultRoot() {
    // A relative XDG_CACHE_HOME is ignored, as the desktop's other programs ignore it.
    QString cache = QString::fromLocal8Bit(qgetenv("XDG_CACHE_HOME"));
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/thumbnails");
}

}  // namespace kv
