#include "platform/qt/location/placesmenu.h"

#include <sys/stat.h>

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QStandardPaths>
#include <QStyle>

#include "platform/fs/core/background.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/common/standardicons.h"
#include "platform/qt/location/bookmarksdialog.h"
#include "platform/qt/location/bookmarktext.h"
#include "platform/qt/location/recentfolders.h"

namespace kv {

namespace {

using pathtext::isDirectory;

struct Read {
    std::vector<PlacesMenu::Place> places;
    std::vector<Bookmark> bookmarks;
};

// Touches the disk (the user-dirs file, the folders, the bookmarks): off the UI thread.
Read readPlaces(const QString& bookmarksFile) {
    Read r;
    const QByteArray home = QFile::encodeName(QDir::homePath());
    r.places.push_back({QObject::tr("Home"), home, true});
    const std::pair<QString, QStandardPaths::StandardLocation> usual[] = {
        {QObject::tr("Desktop"), QStandardPaths::DesktopLocation},
        {QObject::tr("Documents"), QStandardPaths::DocumentsLocation},
        {QObject::tr("Downloads"), QStandardPaths::DownloadLocation},
    };
    for (const auto& [title, where] : usual) {
        const QByteArray path = QFile::encodeName(QStandardPaths::writableLocation(where));
        // An unset location falls back to the home folder, which is listed already.
        if (!path.isEmpty() && path != home && isDirectory(path)) r.places.push_back({title, path});
    }
    r.bookmarks = Bookmarks::load(bookmarksFile);
    return r;
}

// The property of a bookmark's entry that holds its place among the bookmarks shown.
constexpr char kBookmarkIndex[] = "bookmarkIndex";

bool sameBookmarks(const std::vector<Bookmark>& a, const std::vector<Bookmark>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].uri != b[i].uri || a[i].label != b[i].label) return false;
    return true;
}

}  // namespace

PlacesMenu::PlacesMenu(RecentFolders& recent, QWidget* parent) : QMenu(parent), m_recent(recent) {
    setObjectName("placesMenu");
    setToolTipsVisible(true);
    connect(this, &QMenu::aboutToShow, this, [this] {
        rebuild();
        reload();
        reloadMounted();
    });
}

void PlacesMenu::reload() {
    const int generation = ++m_generation;
    runInBackground(
        this, [file = Bookmarks::defaultFile()] { return readPlaces(file); },
        [this, generation](const Read& r) {
            if (generation != m_generation) return;  // a newer reading is on its way
            const bool changed =
                !m_loaded || r.places != m_places || !sameBookmarks(r.bookmarks, m_bookmarks);
            m_places = r.places;
            m_bookmarks = r.bookmarks;
            m_loaded = true;
            if (changed) rebuild();
        });
}

void PlacesMenu::rebuild() {
    clear();
    const QIcon folderIcon = StandardIcons::standard(QStyle::SP_DirIcon);
    for (const Place& p : m_places) {
        QAction* a =
            addAction(p.home ? StandardIcons::standard(QStyle::SP_DirHomeIcon) : folderIcon, p.title);
        a->setToolTip(NameText::shown(p.path.toStdString()));
        a->setData(p.path);
        connect(a, &QAction::triggered, this, [this, path = p.path] { emit folderChosen(path); });
    }
    if (!m_loaded) addAction(tr("Reading…"))->setEnabled(false);
    addMounted();
    QAction* trash = addAction(StandardIcons::themed("user-trash", QStyle::SP_TrashIcon), tr("Trash"));
    trash->setObjectName("trash");
    connect(trash, &QAction::triggered, this, [this] { emit locationChosen(QStringLiteral("trash:/")); });
    QAction* server =
        addAction(StandardIcons::themed("network-server", QStyle::SP_DriveNetIcon), tr("Connect to Server…"));
    server->setObjectName("connectToServer");
    connect(server, &QAction::triggered, this, &PlacesMenu::connectToServer);

    addSeparator();
    int shown = 0;
    for (const Bookmark& b : m_bookmarks) {
        if (shown++ == BookmarkText::kMaxShown) {
            addAction(tr("%n more bookmarks not shown", nullptr,
                         static_cast<int>(m_bookmarks.size()) - BookmarkText::kMaxShown))
                ->setEnabled(false);
            break;
        }
        const bool onServer = RemoteLocation::is(b.uri.toStdString());
        QAction* a = addAction(b.isLocal() ? StandardIcons::standard(QStyle::SP_DirLinkIcon)
                               : onServer  ? StandardIcons::themed("folder-remote", QStyle::SP_DriveNetIcon)
                                           : QIcon(),
                               BookmarkText::shortLabel(b.title()));
        a->setData(b.uri);
        a->setProperty(kBookmarkIndex, shown - 1);
        if (b.isLocal()) {
            a->setToolTip(BookmarkText::shortLabel(NameText::shown(b.path.toStdString())));
            connect(a, &QAction::triggered, this, [this, path = b.path] { emit folderChosen(path); });
        } else if (onServer || b.uri.startsWith("http://") || b.uri.startsWith("https://")) {
            a->setToolTip(BookmarkText::shortLabel(QString::fromUtf8(b.uri)));
            connect(a, &QAction::triggered, this,
                    [this, uri = QString::fromUtf8(b.uri)] { emit locationChosen(uri); });
        } else {
            // A place this program does not reach (a phone's, a camera's).
            a->setToolTip(
                tr("%1 cannot be opened here").arg(BookmarkText::shortLabel(QString::fromUtf8(b.uri))));
            a->setEnabled(false);
        }
    }
    QAction* add = addAction(tr("Add Bookmark"));
    add->setObjectName("addBookmark");
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    add->setShortcutContext(Qt::WidgetShortcut);  // the view handles the key itself
    add->setEnabled(!m_current.isEmpty());
    connect(add, &QAction::triggered, this, &PlacesMenu::addBookmarkChosen);
    QAction* edit = addAction(tr("Edit Bookmarks…"));
    edit->setObjectName("editBookmarks");
    edit->setEnabled(m_loaded && !m_bookmarks.empty());
    connect(edit, &QAction::triggered, this, &PlacesMenu::editBookmarks);

    QMenu* recent = addMenu(tr("Recent"));
    recent->setObjectName("recentMenu");
    recent->setToolTipsVisible(true);
    for (const QByteArray& folder : m_recent.folders()) {
        QAction* a = recent->addAction(folderIcon, NameText::shown(folder.toStdString()));
        a->setData(folder);
        connect(a, &QAction::triggered, this, [this, folder] { emit folderChosen(folder); });
    }
    recent->setEnabled(!m_recent.folders().isEmpty());
    addServers();
}

std::vector<Bookmark> PlacesMenu::shownBookmarks() const {
    const size_t count = std::min(m_bookmarks.size(), static_cast<size_t>(BookmarkText::kMaxShown));
    return {m_bookmarks.begin(), m_bookmarks.begin() + static_cast<std::ptrdiff_t>(count)};
}

void PlacesMenu::contextMenuEvent(QContextMenuEvent* event) {
    QAction* at = event->reason() == QContextMenuEvent::Mouse ? actionAt(event->pos()) : activeAction();
    const QVariant index = at ? at->property(kBookmarkIndex) : QVariant();
    if (!index.isValid()) {
        QMenu::contextMenuEvent(event);
        return;
    }
    const QRect item = actionGeometry(at);
    bookmarkMenu(index.toInt())
        ->popup(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                            : mapToGlobal(item.center()));
    event->accept();
}

QMenu* PlacesMenu::bookmarkMenu(int index) {
    auto* menu = new QMenu(this);
    menu->setObjectName("bookmarkMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int count = static_cast<int>(shownBookmarks().size());
    QAction* rename = menu->addAction(tr("Rename…"), this, [this, index] { renameBookmark(index); });
    rename->setObjectName("renameBookmark");
    menu->addAction(tr("Remove"), this, [this, index] { removeBookmark(index); })
        ->setObjectName("removeBookmark");
    QAction* up = menu->addAction(tr("Move Up"), this, [this, index] { moveBookmark(index, -1); });
    up->setObjectName("moveBookmarkUp");
    up->setEnabled(index > 0);
    QAction* down = menu->addAction(tr("Move Down"), this, [this, index] { moveBookmark(index, 1); });
    down->setObjectName("moveBookmarkDown");
    down->setEnabled(index + 1 < count);
    return menu;
}

void PlacesMenu::renameBookmark(int index) {
    const std::vector<Bookmark> shown = shownBookmarks();
    if (index < 0 || index >= static_cast<int>(shown.size())) return;
    close();
    QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
    auto* ask = new QInputDialog(window);
    ask->setObjectName("renameBookmark");
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(tr("Rename Bookmark"));
    const Bookmark& b = shown[static_cast<size_t>(index)];
    ask->setLabelText(tr("Name of the bookmark of %1:")
                          .arg(BookmarkText::shortLabel(b.isLocal() ? NameText::shown(b.path.toStdString())
                                                                    : QString::fromUtf8(b.uri))));
    const QString before = BookmarkText::shortLabel(b.title());
    ask->setTextValue(before);
    connect(ask, &QInputDialog::textValueSelected, this, [this, shown, index, before](const QString& name) {
        if (name == before) return;
        std::vector<BookmarkChange> order = Bookmarks::unchanged(shown.size());
        order[static_cast<size_t>(index)].label = name;
        // Against the bookmarks as they were when asked about.
        write(shown, std::move(order));
    });
    ask->open();
}

void PlacesMenu::removeBookmark(int index) {
    std::vector<BookmarkChange> order = Bookmarks::unchanged(shownBookmarks().size());
    if (index < 0 || index >= static_cast<int>(order.size())) return;
    order.erase(order.begin() + index);
    write(shownBookmarks(), std::move(order));
}

void PlacesMenu::moveBookmark(int index, int by) {
    std::vector<BookmarkChange> order = Bookmarks::unchanged(shownBookmarks().size());
    const int to = index + by;
    if (index < 0 || to < 0 || std::max(index, to) >= static_cast<int>(order.size())) return;
    std::swap(order[static_cast<size_t>(index)], order[static_cast<size_t>(to)]);
    write(shownBookmarks(), std::move(order));
}

void PlacesMenu::editBookmarks() {
    close();
    const std::vector<Bookmark> shown = shownBookmarks();
    auto* dialog = new BookmarksDialog(shown, m_bookmarks.size() - shown.size(),
                                       parentWidget() ? parentWidget()->window() : nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, shown] { write(shown, dialog->changes()); });
    dialog->open();
}

void PlacesMenu::write(const std::vector<Bookmark>& read, std::vector<BookmarkChange> order) {
    // Stops a reading under way from showing the bookmarks as they were.
    const int generation = ++m_generation;
    runInBackground(
        this,
        [file = Bookmarks::defaultFile(), read, order = std::move(order)] {
            QString error;
            return Bookmarks::edit(file, read, order, &error) ? QString() : error;
        },
        [this, generation](const QString& error) {
            if (!error.isEmpty()) emit editFailed(tr("The bookmarks were not changed: %1").arg(error));
            if (generation == m_generation) reload();
        });
}

}  // namespace kv
