#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace kv {

// One line of the desktop's shared bookmarks file: "URI" or "URI label".
struct Bookmark {
    QByteArray uri;  // as written: percent-encoded
    QString label;   // empty when the line has none
    // A local folder (file:///...) has its path here as raw bytes; empty for any other URI.
    QByteArray path;

    bool isLocal() const { return !path.isEmpty(); }
    // What a menu shows: the label, else the folder's last name, else the URI.
    QString title() const;
};

// Where a bookmark goes in an edit of the file: which of the bookmarks read it is, and its new label
// when it was renamed (empty for none); without one its line stays as it was written.
struct BookmarkChange {
    size_t from = 0;
    std::optional<QString> label;
};

// The bookmarks file other file managers of the desktop share ($XDG_CONFIG_HOME/gtk-3.0/bookmarks).
// Lines this code does not understand are kept as they are whenever it writes the file. Reading and
// writing touch the disk: call them off the UI thread.
class Bookmarks {
  public:
    // $XDG_CONFIG_HOME/gtk-3.0/bookmarks, $XDG_CONFIG_HOME defaulting to ~/.config.
    static QString defaultFile();

    static std::vector<Bookmark> parse(const QByteArray& text);
    // A missing or unreadable file has no bookmarks.
    // The bookmarks of a file: its first maxBytes only, and nothing unless it is a regular file.
    static constexpr qint64 kMaxBytes = 1 << 20;
    static std::vector<Bookmark> load(const QString& file, qint64 maxBytes = kMaxBytes);

    // "file:///a%20b" for "/a b": every byte but the unreserved ones and '/' is percent-encoded, so a
    // name that is not UTF-8 survives.
    static QByteArray uriOf(const QByteArray& path);
    // The raw path of a local file: URI; empty for any other.
    static QByteArray pathOf(const QByteArray& uri);

    // Adds a line for a folder unless one names it already. The file is replaced atomically (written
    // beside it, then renamed over it) with every other line kept. False with *error set on failure.
    static bool add(const QString& file, const QByteArray& folder, const QString& label, QString* error);

    // The file is read whole to be edited, up to this size; a larger one is left alone.
    static constexpr qint64 kMaxEditBytes = 64 << 20;
    // Every bookmark read, in its place, as an edit that changes nothing.
    static std::vector<BookmarkChange> unchanged(size_t count);
    // Rewrites the bookmarks the caller read (the first read.size() of the file) as `order` lists
    // them: reordered, renamed, and those it leaves out removed. Every other line (blank ones, the
    // bookmarks after those read) stays where it is, and the file is replaced atomically. When the
    // file no longer begins with the bookmarks read (another program changed it), nothing is
    // written. False with *error set on failure.
    static bool edit(const QString& file, const std::vector<Bookmark>& read,
                     const std::vector<BookmarkChange>& order, QString* error);
};

}  // namespace kv
