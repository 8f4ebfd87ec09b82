#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "platform/fs/thumbnails/thumbnailpaths.h"

namespace kv {

// The desktop's thumbnail cache on disk, as the thumbnail standard lays it out: one PNG per file and
// size class, named by the MD5 of the file's URI, valid while its Thumb::URI and Thumb::MTime text
// match the file. What we write carries those and Thumb::Size, Thumb::Mime and Software, is written
// to a temporary name and renamed (a reader never sees half a file), readable by the user only.
// Files we failed to make one for are remembered under fail/<program>/, so they are not tried again
// until they change. Thread-safe: every call works on files only.
class ThumbnailStore {
  public:
    // What a thumbnail says about its file.
    struct Source {
        QByteArray uri;
        std::int64_t mtime = 0;  // seconds
        std::uint64_t size = 0;
        QString mime;
    };

    // The name of our folder under fail/: bumped when the way we make thumbnails improves, so that
    // files we could not do before are tried again.
    static constexpr const char* kFailName = "kestrovan-1.1";

    explicit ThumbnailStore(QString root = ThumbnailPaths::defaultRoot());
    const QString& root() const { return m_root; }

    QString pathFor(const QByteArray& uri, ThumbnailPaths::Size size) const;
    QString failPathFor(const QByteArray& uri) const;

    // The thumbnail of that size if there is one for this state of the file; null otherwise.
    QImage load(const Source& source, ThumbnailPaths::Size size) const;
    // False when it could not be written (a read-only cache is no reason to stop showing it).
    bool save(const QImage& image, const Source& source, ThumbnailPaths::Size size) const;
    bool hasFailed(const Source& source) const;
    void recordFailure(const Source& source) const;

    // Whether the PNG at path is a valid thumbnail of this state of the file; its image when so.
    static QImage readValid(const QString& path, const Source& source);

  private:
    bool write(const QImage& image, const Source& source, const QString& folder, const QString& path) const;

    QString m_root;
};

}  // namespace kv
