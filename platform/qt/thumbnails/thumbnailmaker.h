#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>

#include "platform/fs/thumbnails/thumbnailers.h"
#include "platform/qt/thumbnails/thumbnailstore.h"

class QIODevice;

namespace kv {

struct RemoteLocation;

// Finds or makes the thumbnail of one file, on the calling (worker) thread: the shared cache's if it
// is valid for the file as it is now; else images are decoded here at the size wanted (a JPEG decoder
// scales while it decodes, eight times less work for a photo); other types go to the desktop's
// thumbnailer program for them, killed if it takes too long. What is made goes back to the cache;
// what fails is recorded there and not tried again until the file changes. Safe to share between
// threads once made.
class ThumbnailMaker {
  public:
    struct Options {
        QString cacheRoot = ThumbnailPaths::defaultRoot();
        QStringList thumbnailerFolders = Thumbnailers::defaultFolders();
        int timeoutMs = 10000;
    };

    ThumbnailMaker() : ThumbnailMaker(Options()) {}
    explicit ThumbnailMaker(const Options& options);

    // Whether files of this type can have a thumbnail at all, so that others are never queued.
    bool canMake(const QString& mime) const;

    // The file's thumbnail fitted into px × px (never enlarged); null when it has none. mime is the
    // type the file's name says. With writeBack, a thumbnail just made is not written to the cache
    // yet: writeBack is set to do it, so the caller can show the picture first.
    QImage thumbnail(const QByteArray& path, const QString& mime, int px,
                     std::function<void()>* writeBack = nullptr) const;

    const ThumbnailStore& store() const { return m_store; }

  private:
    QImage make(const QByteArray& path, const ThumbnailStore::Source& source, ThumbnailPaths::Size size,
                bool* failed, bool* fresh) const;
    QImage remoteThumbnail(const RemoteLocation& remote, const QString& mime, int px,
                           std::function<void()>* writeBack) const;
    QImage decode(const QByteArray& path, int edge, bool* small) const;
    static QImage decode(QIODevice& device, int edge, bool* small);
    QImage runThumbnailer(const QByteArray& path, const ThumbnailStore::Source& source, int edge) const;

    ThumbnailStore m_store;
    Thumbnailers m_thumbnailers;
    int m_timeoutMs;
    QByteArray m_rootBytes;
};

}  // namespace kv
