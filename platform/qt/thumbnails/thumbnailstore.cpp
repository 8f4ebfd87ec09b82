#include "platform/qt/thumbnails/thumbnailstore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

namespace kv {

namespace {

// The cache holds what the user looked at: other users must not see it.
bool makeFolder(const QString& path) {
    if (!QDir().mkpath(path)) return false;
    // mkpath makes the parents with the umask's mode; the ones that are the cache's own get 0700.
    ::chmod(QFile::encodeName(path).constData(), 0700);
    return true;
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

ThumbnailStore::ThumbnailStore(QString root) : m_root(std::move(root)) {}

QString ThumbnailStore::pathFor(const QByteArray& uri, ThumbnailPaths::Size size) const {
    return m_root + QLatin1Char('/') + ThumbnailPaths::folderName(size) + QLatin1Char('/') +
           QString::fromLatin1(ThumbnailPaths::fileNameFor(uri));
}

QString ThumbnailStore::failPathFor(const QByteArray& uri) const {
    return m_root + QStringLiteral("/fail/") + QLatin1String(kFailName) + QLatin1Char('/') +
           QString::fromLatin1(ThumbnailPaths::fileNameFor(uri));
}

QImage ThumbnailStore::readValid(const QString& path, const Source& source) {
    // QImageReader::text() splits keys at their first colon, which every key here has; the image's own
    // text is whole. A thumbnail is small, so reading it to look is cheap.
    QImageReader reader(path, "png");
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull() || image.text(QStringLiteral("Thumb::URI")).toUtf8() != source.uri) return {};
    // Some programs write the time with a fraction; the standard's unit is the whole second.
    bool ok = false;
    const double mtime = image.text(QStringLiteral("Thumb::MTime")).toDouble(&ok);
    if (!ok || static_cast<std::int64_t>(mtime) != source.mtime) return {};
    return image;
}

QImage ThumbnailStore::load(const Source& source, ThumbnailPaths::Size size) const {
    return readValid(pathFor(source.uri, size), source);
}

bool ThumbnailStore::hasFailed(const Source& source) const {
    return !readValid(failPathFor(source.uri), source).isNull();
}

bool ThumbnailStore::save(const QImage& image, const Source& source, ThumbnailPaths::Size size) const {
    const QString folder = m_root + QLatin1Char('/') + ThumbnailPaths::folderName(size);
    return write(image, source, folder, pathFor(source.uri, size));
}

void ThumbnailStore::recordFailure(const Source& source) const {
    // The standard's failure mark: an empty image that carries the file's URI and time.
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    const QString fail = m_root + QStringLiteral("/fail");
    if (!QFile::exists(m_root)) makeFolder(m_root);
    if (!QFile::exists(fail)) makeFolder(fail);
    write(mark, source, fail + QLatin1Char('/') + QLatin1String(kFailName), failPathFor(source.uri));
}

bool ThumbnailStore::write(const QImage& image, const Source& source, const QString& folder,
                           const QString& path) const {
    if (!QFile::exists(m_root) && !makeFolder(m_root)) return false;
    if (!makeFolder(folder)) return false;
    QImage tagged = image;
    tagged.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(source.uri));
    tagged.setText(QStringLiteral("Thumb::MTime"), QString::number(source.mtime));
    tagged.setText(QStringLiteral("Thumb::Size"), QString::number(source.size));
    if (!source.mime.isEmpty()) tagged.setText(QStringLiteral("Thumb::Mime"), source.mime);
    tagged.setText(QStringLiteral("Software"), QStringLiteral("Kestrovan"));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        // zlib's fastest level: a few per cent bigger, and writing no longer costs what decoding does.
        writer.setCompression(1);
        if (!writer.write(tagged)) return false;
    }
    // mkstemp makes the file 0600 whatever the umask, as the standard asks.
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    const bool ok = writeAll(fd, png);
    ::close(fd);
    if (!ok || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

}  // namespace kv
