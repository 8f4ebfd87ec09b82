#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <Qt>

class QDropEvent;
class QMimeData;
class QWebEngineView;

namespace kv {

class FolderPane;

// What a drag out of one of the program's web pages leaves in a folder pane: the original of what was
// dragged, never the engine's stand-in for it. An image is fetched again through the page's own
// session (its cookies, the page as referrer) as the server sent it, not as the re-encoded picture
// the drag carries; a link saves the file it links to (with Alt: a link file named after the link's
// text); a selected text saves a text file. Each goes through the download jobs (progress, clash,
// undo).
class WebDrop {
  public:
    enum class Kind { Nothing, Image, Link, Text };
    struct Content {
        Kind kind = Kind::Nothing;
        QUrl url;           // the image or the link, absolute
        QString text;       // the link's text, or the text dragged
        QString localCopy;  // an image: the engine's own copy of its bytes, where it made one
    };

    // The web view a drag comes from, when it is one of this program's; null otherwise.
    static QWebEngineView* sourceOf(const QDropEvent* event);
    // What a drag's data holds, its addresses taken relative to the page's.
    static Content contentOf(const QMimeData* data, const QUrl& pageUrl);
    // Whether dropping it on a folder would save anything.
    static bool canSave(const Content& content, Qt::KeyboardModifiers modifiers);
    // Starts saving it into folder; IgnoreAction when there is nothing to save.
    static Qt::DropAction drop(QWebEngineView& from, const QMimeData* data, const QByteArray& folder,
                               Qt::KeyboardModifiers modifiers, FolderPane& target);
};

}  // namespace kv
