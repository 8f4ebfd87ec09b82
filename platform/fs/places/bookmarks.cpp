#include "platform/fs/places/bookmarks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <mutex>

namespace kv {

namespace {

QByteArray lastName(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    if (path == "/") return path;
    return path.mid(path.lastIndexOf('/') + 1);
}

// One writer at a time within the program: two views adding at once would otherwise each write the
// file they read and lose the other's line.
std::mutex& writeMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

QString Bookmark::title() const {
    if (!label.isEmpty()) return label;
    if (isLocal()) return QString::fromUtf8(lastName(path));
    return QString::fromUtf8(uri);
}

QString Bookmarks::defaultFile() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG base directories: a relative value is to be ignored.
    if (config.isEmpty() || !config.startsWith('/')) config = QDir::homePath() + "/.config";
    return config + "/gtk-3.0/bookmarks";
}

QByteArray Bookmarks::uriOf(const QByteArray& path) {
    return "file://" + path.toPercentEncoding("/");
}

QByteArray Bookmarks::pathOf(const QByteArray& uri) {
    if (!uri.startsWith("file://")) return {};
    QByteArray rest = uri.mid(7);
    // file://localhost/x names a local file as well; any other host does not.
    if (rest.startsWith("localhost/")) rest = rest.mid(9);
    if (!rest.startsWith('/')) return {};
    const qsizetype end = rest.indexOf('?') >= 0 ? rest.indexOf('?') : rest.indexOf('#');
    if (end >= 0) rest.truncate(end);
    return QByteArray::fromPercentEncoding(rest);
}

std::vector<Bookmark> Bookmarks::parse(const QByteArray& text) {
    std::vector<Bookmark> out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        Bookmark b;
        const qsizetype space = line.indexOf(' ');
        b.uri = space < 0 ? line : line.left(space);
        if (space >= 0) b.label = QString::fromUtf8(line.mid(space + 1)).trimmed();
        b.path = pathOf(b.uri);
        out.push_back(std::move(b));
    }
    return out;
}

std::vector<Bookmark> Bookmarks::load(const QString& file, qint64 maxBytes) {
    // Only a regular file, opened without waiting (a FIFO there would hold the reader for ever), and
    // only its first maxBytes: the file is another program's and may hold anything.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    QFile f;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QByteArray text = f.read(maxBytes);
    if (!f.atEnd()) {
        // The last line may be cut: it is dropped rather than read as a bookmark it is not.
        const qsizetype end = text.lastIndexOf('\n');
        text.truncate(end < 0 ? 0 : end + 1);
    }
    return parse(text);
}

bool Bookmarks::add(const QString& file, const QByteArray& folder, const QString& label, QString* error) {
    std::lock_guard lock(writeMutex());
    QByteArray text;
    QFile existing(file);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            // Writing now would replace lines we could not read.
            if (error) *error = existing.errorString();
            return false;
        }
        text = existing.readAll();
        existing.close();
    }
    QByteArray wanted = folder;
    while (wanted.size() > 1 && wanted.endsWith('/')) wanted.chop(1);
    for (const Bookmark& b : parse(text)) {
        QByteArray have = b.path;
        while (have.size() > 1 && have.endsWith('/')) have.chop(1);
        if (b.isLocal() && have == wanted) return true;
    }
    if (!text.isEmpty() && !text.endsWith('\n')) text += '\n';
    text += uriOf(wanted);
    if (!label.isEmpty()) text += ' ' + label.toUtf8();
    text += '\n';

    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        if (error) *error = QObject::tr("cannot create the folder %1").arg(QFileInfo(file).absolutePath());
        return false;
    }
    // A file kept elsewhere and linked here stays linked: its target is the one replaced.
    const QFileInfo info(file);
    QSaveFile out(info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : file);
    // A temporary file beside it, renamed over it once complete: a crash leaves the old file whole.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        if (error) *error = out.errorString();
        return false;
    }
    return true;
}

}  // namespace kv
