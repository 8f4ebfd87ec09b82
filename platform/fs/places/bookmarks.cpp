#include "platform/fs/places/bookmarks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <cerrno>
#include <mutex>
#include <optional>

#include "platform/fs/core/errortext.h"

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

// A line's bookmark; none for a blank line.
std::optional<Bookmark> parseLine(QByteArray line) {
    if (line.endsWith('\r')) line.chop(1);
    if (line.trimmed().isEmpty()) return std::nullopt;
    Bookmark b;
    const qsizetype space = line.indexOf(' ');
    b.uri = space < 0 ? line : line.left(space);
    if (space >= 0) b.label = QString::fromUtf8(line.mid(space + 1)).trimmed();
    b.path = Bookmarks::pathOf(b.uri);
    return b;
}

// The whole file, to be written back changed: only a regular file (opened without waiting, so a FIFO
// there holds nobody) and none too large to hold. A missing file is empty. False with *error set.
bool readWhole(const QString& file, QByteArray* text, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    text->clear();
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? true : fail(QString::fromStdString(errorText(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QObject::tr("%1 is not a regular file").arg(file));
    }
    if (st.st_size > Bookmarks::kMaxEditBytes) {
        ::close(fd);
        return fail(QObject::tr("%1 is too large to be changed here").arg(file));
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(f.errorString());
    }
    *text = f.read(Bookmarks::kMaxEditBytes + 1);
    // Grown while read: writing back what was read would lose its end.
    if (text->size() > Bookmarks::kMaxEditBytes || f.error() != QFileDevice::NoError)
        return fail(QObject::tr("%1 could not be read whole").arg(file));
    return true;
}

// Replaces the file atomically: a temporary file beside it, renamed over it once complete, so a crash
// leaves the old file whole. A file kept elsewhere and linked here stays linked: its target is the one
// replaced.
bool writeWhole(const QString& file, const QByteArray& text, QString* error) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        if (error) *error = QObject::tr("cannot create the folder %1").arg(QFileInfo(file).absolutePath());
        return false;
    }
    const QFileInfo info(file);
    QSaveFile out(info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : file);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        if (error) *error = out.errorString();
        return false;
    }
    return true;
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
    for (const QByteArray& line : text.split('\n'))
        if (std::optional<Bookmark> b = parseLine(line)) out.push_back(std::move(*b));
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
    // Writing a file that could not be read would replace lines we never saw.
    if (!readWhole(file, &text, error)) return false;
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
    return writeWhole(file, text, error);
}

std::vector<BookmarkChange> Bookmarks::unchanged(size_t count) {
    std::vector<BookmarkChange> order(count);
    for (size_t i = 0; i < count; ++i) order[i].from = i;
    return order;
}

bool Bookmarks::edit(const QString& file, const std::vector<Bookmark>& read,
                     const std::vector<BookmarkChange>& order, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    std::vector<bool> taken(read.size());
    for (const BookmarkChange& c : order) {
        if (c.from >= read.size() || taken[c.from])
            return fail(QObject::tr("the edit names a bookmark twice"));
        taken[c.from] = true;
    }
    std::lock_guard lock(writeMutex());
    QByteArray text;
    if (!readWhole(file, &text, error)) return false;
    QList<QByteArray> lines = text.split('\n');
    // The lines of the bookmarks read, which must still say what they said.
    std::vector<qsizetype> slots;
    for (qsizetype i = 0; i < lines.size() && slots.size() < read.size(); ++i) {
        const std::optional<Bookmark> b = parseLine(lines[i]);
        if (!b) continue;
        if (b->uri != read[slots.size()].uri || b->label != read[slots.size()].label)
            return fail(QObject::tr("the bookmarks were changed by another program meanwhile"));
        slots.push_back(i);
    }
    if (slots.size() < read.size())
        return fail(QObject::tr("the bookmarks were changed by another program meanwhile"));

    std::vector<QByteArray> written;
    for (const BookmarkChange& c : order) {
        if (!c.label) {
            written.push_back(lines[slots[c.from]]);
            continue;
        }
        // A label is the rest of its line: one line, no blanks around it.
        QString label = *c.label;
        label.replace('\n', ' ').replace('\r', ' ');
        label = label.trimmed();
        written.push_back(label.isEmpty() ? read[c.from].uri : read[c.from].uri + ' ' + label.toUtf8());
    }
    QByteArray out;
    size_t slot = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (slot < slots.size() && slots[slot] == i) {
            // The slots keep their places among the other lines; those left over are dropped.
            if (slot >= written.size()) {
                ++slot;
                continue;
            }
            line = written[slot++];
        }
        out += line;
        if (i + 1 < lines.size()) out += '\n';
    }
    return writeWhole(file, out, error);
}

}  // namespace kv
