#include "platform/qt/location/placesmenu.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStyle>

#include "platform/fs/core/background.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/common/standardicons.h"
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

// A bookmarks file is another program's and may hold thousands of lines or a label of a megabyte: the
// menu shows the first ones, each label cut to a length a menu can show.
constexpr int kMaxBookmarksShown = 200;
constexpr qsizetype kMaxLabel = 80;

QString shortLabel(const QString& text) {
    if (text.size() <= kMaxLabel) return text;
    const qsizetype half = (kMaxLabel - 1) / 2;
    return text.left(half) + QChar(0x2026) + text.right(half);
}

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
    QAction* trash = addAction(StandardIcons::themed("user-trash", QStyle::SP_TrashIcon), tr("Trash"));
    trash->setObjectName("trash");
    connect(trash, &QAction::triggered, this, [this] { emit locationChosen(QStringLiteral("trash:/")); });

    addSeparator();
    int shown = 0;
    for (const Bookmark& b : m_bookmarks) {
        if (shown++ == kMaxBookmarksShown) {
            addAction(tr("%n more bookmarks not shown", nullptr,
                         static_cast<int>(m_bookmarks.size()) - kMaxBookmarksShown))
                ->setEnabled(false);
            break;
        }
        QAction* a = addAction(b.isLocal() ? StandardIcons::standard(QStyle::SP_DirLinkIcon) : QIcon(),
                               shortLabel(b.title()));
        a->setData(b.uri);
        if (b.isLocal()) {
            a->setToolTip(shortLabel(NameText::shown(b.path.toStdString())));
            connect(a, &QAction::triggered, this, [this, path = b.path] { emit folderChosen(path); });
        } else if (b.uri.startsWith("http://") || b.uri.startsWith("https://")) {
            a->setToolTip(shortLabel(QString::fromUtf8(b.uri)));
            connect(a, &QAction::triggered, this,
                    [this, uri = QString::fromUtf8(b.uri)] { emit locationChosen(uri); });
        } else {
            // Remote folders (sftp:, smb:) need a mount this program does not make.
            a->setToolTip(tr("%1 cannot be opened here").arg(shortLabel(QString::fromUtf8(b.uri))));
            a->setEnabled(false);
        }
    }
    QAction* add = addAction(tr("Add Bookmark"));
    add->setObjectName("addBookmark");
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    add->setShortcutContext(Qt::WidgetShortcut);  // the view handles the key itself
    add->setEnabled(!m_current.isEmpty());
    connect(add, &QAction::triggered, this, &PlacesMenu::addBookmarkChosen);

    QMenu* recent = addMenu(tr("Recent"));
    recent->setObjectName("recentMenu");
    recent->setToolTipsVisible(true);
    for (const QByteArray& folder : m_recent.folders()) {
        QAction* a = recent->addAction(folderIcon, NameText::shown(folder.toStdString()));
        a->setData(folder);
        connect(a, &QAction::triggered, this, [this, folder] { emit folderChosen(folder); });
    }
    recent->setEnabled(!m_recent.folders().isEmpty());
}

}  // namespace kv
