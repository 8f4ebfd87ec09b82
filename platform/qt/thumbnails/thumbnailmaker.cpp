#include "platform/qt/thumbnails/thumbnailmaker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include "platform/fs/remote/remotefile.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/thumbnails/thumbnailerprocess.h"

namespace kv {

namespace {

bool readableByQt(const QString& mime) {
    static const QList<QByteArray> types = QImageReader::supportedMimeTypes();
    return types.contains(mime.toLatin1());
}

QImage fitted(const QImage& image, int px) {
    if (image.isNull() || (image.width() <= px && image.height() <= px)) return image;
    return image.scaled(px, px, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

ThumbnailMaker::ThumbnailMaker(const Options& options)
    : m_store(options.cacheRoot),
      m_thumbnailers(options.thumbnailerFolders),
      m_timeoutMs(options.timeoutMs),
      m_rootBytes(QFile::encodeName(options.cacheRoot) + '/') {}

bool ThumbnailMaker::canMake(const QString& mime) const {
    return readableByQt(mime) || m_thumbnailers.handles(mime);
}

QImage ThumbnailMaker::thumbnail(const QByteArray& path, const QString& mime, int px,
                                 std::function<void()>* writeBack) const {
    if (const std::optional<RemoteLocation> remote = RemoteLocation::parse(path.toStdString()))
        return remoteThumbnail(*remote, mime, px, writeBack);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    // The cache's own files would get thumbnails of thumbnails.
    if (path.startsWith(m_rootBytes)) return {};
    const ThumbnailStore::Source source{ThumbnailPaths::uriFor(path), static_cast<std::int64_t>(st.st_mtime),
                                        static_cast<std::uint64_t>(st.st_size), mime};
    const ThumbnailPaths::Size size = ThumbnailPaths::sizeFor(px);
    QImage image = m_store.load(source, size);
    if (image.isNull()) {
        if (m_store.hasFailed(source)) return {};
        bool failed = false, fresh = false;
        image = make(path, source, size, &failed, &fresh);
        if (failed) m_store.recordFailure(source);
        if (fresh) {
            auto save = [store = m_store, image, source, size] { store.save(image, source, size); };
            if (writeBack)
                *writeBack = std::move(save);
            else
                save();
        }
    }
    return fitted(image, px);
}

QImage ThumbnailMaker::remoteThumbnail(const RemoteLocation& remote, const QString& mime, int px,
                                       std::function<void()>* writeBack) const {
    // A picture on a server is fetched whole, once, and only a picture Qt reads: no thumbnailer program
    // is handed an address it may not read.
    constexpr std::uint64_t kLargest = 32 << 20;
    if (!readableByQt(mime)) return {};
    const std::optional<remotefile::Info> info = remotefile::info(remote.text());
    if (!info || !info->regular || info->size > kLargest) return {};
    const ThumbnailStore::Source source{QByteArray::fromStdString(remote.uri()), info->mtime, info->size,
                                        mime};
    const ThumbnailPaths::Size size = ThumbnailPaths::sizeFor(px);
    QImage image = m_store.load(source, size);
    if (!image.isNull()) return fitted(image, px);
    if (m_store.hasFailed(source)) return {};
    const std::optional<std::string> data = remotefile::read(remote.text(), kLargest);
    if (!data) return {};  // the server's trouble, not the file's: tried again next time
    QByteArray bytes = QByteArray::fromStdString(*data);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    bool small = false;
    image = decode(buffer, size, &small);
    if (image.isNull()) {
        m_store.recordFailure(source);
        return {};
    }
    if (!small) {
        auto save = [store = m_store, image, source, size] { store.save(image, source, size); };
        if (writeBack)
            *writeBack = std::move(save);
        else
            save();
    }
    return fitted(image, px);
}

QImage ThumbnailMaker::make(const QByteArray& path, const ThumbnailStore::Source& source,
                            ThumbnailPaths::Size size, bool* failed, bool* fresh) const {
    QImage image;
    if (readableByQt(source.mime)) {
        bool small = false;
        image = decode(path, size, &small);
        // An image no bigger than the thumbnail is its own: the standard leaves it out of the cache.
        if (small && !image.isNull()) return image;
    } else if (m_thumbnailers.handles(source.mime)) {
        image = runThumbnailer(path, source, size);
    } else {
        return {};
    }
    if (image.isNull()) {
        *failed = true;
        return {};
    }
    *fresh = true;
    return image;
}

QImage ThumbnailMaker::decode(const QByteArray& path, int edge, bool* small) const {
    // Opened by its bytes: a name that is not UTF-8 has no QString that names it.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return decode(file, edge, small);
}

QImage ThumbnailMaker::decode(QIODevice& device, int edge, bool* small) {
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (!full.isValid()) return {};
    if (full.width() > edge || full.height() > edge)
        reader.setScaledSize(full.scaled(edge, edge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    else
        *small = true;
    reader.setQuality(75);  // the scaling's last step smooth, not nearest-pixel
    return reader.read();
}

QImage ThumbnailMaker::runThumbnailer(const QByteArray& path, const ThumbnailStore::Source& source,
                                      int edge) const {
    QByteArray out = QFile::encodeName(QDir::tempPath()) + "/kestrovan-thumb-XXXXXX.png";
    const int fd = ::mkstemps(out.data(), 4);
    if (fd < 0) return {};
    ::close(fd);
    const auto argv = m_thumbnailers.command(source.mime, path.toStdString(), source.uri.toStdString(),
                                             out.toStdString(), edge);
    QImage image;
    if (ThumbnailerProcess::run(argv, m_timeoutMs) == ThumbnailerProcess::Outcome::Exited) {
        // Whatever the program claims, only a PNG that reads is a thumbnail.
        QImageReader reader(QFile::decodeName(out), "png");
        reader.setDecideFormatFromContent(false);
        image = reader.read();
        image = fitted(image, edge);
    }
    ::unlink(out.constData());
    return image;
}

}  // namespace kv
