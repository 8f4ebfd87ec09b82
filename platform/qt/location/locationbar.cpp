#include "platform/qt/location/locationbar.h"
#include "platform/qt/location/foldercompletion.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>

#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/core/background.h"
#include "platform/fs/drives/mounts.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/trash/trashlistingsource.h"
#include "platform/qt/common/clearbutton.h"
#include "platform/qt/common/elidedlabel.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/common/standardicons.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/location/breadcrumbbar.h"
#include "platform/qt/location/placesmenu.h"

namespace kv {

namespace {

constexpr int kMarkWidth = 2;  // the active view's line

bool isUnder(const QByteArray& path, const QByteArray& root) {
    if (root == "/") return path.startsWith('/');
    return path == root || path.startsWith(root + '/');
}

}  // namespace

LocationBar::LocationBar(RecentFolders& recent, QWidget* parent) : QWidget(parent) {
    setObjectName("locationBar");
    // A tool bar in the desktop's colours, whatever the window paints behind it and whatever colour
    // the view is given: the active view's line must stand out against it.
    QPalette colours = palette();
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Button,
                                           QPalette::ButtonText, QPalette::Highlight})
        colours.setColor(role, QApplication::palette().color(role));
    setPalette(colours);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, kMarkWidth);
    layout->setSpacing(0);
    auto tool = [this, layout](const char* name, const QIcon& icon, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setIcon(icon);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);  // the window's Tab order goes from list to list
        layout->addWidget(b);
        return b;
    };
    m_placesButton =
        tool("places", StandardIcons::themed("user-bookmarks", QStyle::SP_DirHomeIcon), tr("Places"));
    m_places = new PlacesMenu(recent, this);
    m_placesButton->setMenu(m_places);
    m_placesButton->setPopupMode(QToolButton::InstantPopup);
    m_back = tool("back", StandardIcons::standard(QStyle::SP_ArrowBack), tr("Back (Alt+Left)"));
    m_forward = tool("forward", StandardIcons::standard(QStyle::SP_ArrowForward), tr("Forward (Alt+Right)"));
    m_reload = tool("reload", StandardIcons::standard(QStyle::SP_BrowserReload), tr("Reload"));
    m_reload->hide();
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_crumbs = new BreadcrumbBar(this);
    layout->addWidget(m_crumbs, 1);
    m_searchNote = new ElidedLabel({}, this);
    m_searchNote->setObjectName("searchNote");
    m_searchNote->setTextFormat(Qt::PlainText);
    m_searchNote->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_searchNote->hide();
    layout->addWidget(m_searchNote);
    // Finding things in a folder: the filter over its rows and the search below it.
    m_filter = tool("filter", StandardIcons::themed("view-filter", QStyle::SP_FileDialogContentsView),
                    tr("Filter the items shown (Ctrl+I)"));
    m_search = tool("search", StandardIcons::themed("edit-find", QStyle::SP_FileDialogDetailedView),
                    tr("Search below this folder (Ctrl+F)"));
    // A screen reader names a button by its text, and these show only an icon.
    m_placesButton->setAccessibleName(tr("Places"));
    m_back->setAccessibleName(tr("Back"));
    m_forward->setAccessibleName(tr("Forward"));
    m_reload->setAccessibleName(tr("Reload"));
    m_filter->setAccessibleName(tr("Filter"));
    m_search->setAccessibleName(tr("Search"));
    connect(m_filter, &QToolButton::clicked, this, &LocationBar::filterRequested);
    connect(m_search, &QToolButton::clicked, this, &LocationBar::searchRequested);

    connect(m_back, &QToolButton::clicked, this, &LocationBar::backRequested);
    connect(m_forward, &QToolButton::clicked, this, &LocationBar::forwardRequested);
    connect(m_reload, &QToolButton::clicked, this, [this] {
        if (m_loading)
            emit stopRequested();
        else
            emit reloadRequested();
    });
    connect(m_crumbs, &BreadcrumbBar::folderClicked, this, &LocationBar::folderRequested);
    connect(m_crumbs, &BreadcrumbBar::editRequested, this, &LocationBar::startEditing);
    connect(m_places, &PlacesMenu::folderChosen, this, &LocationBar::folderRequested);
    connect(m_places, &PlacesMenu::locationChosen, this, &LocationBar::locationEntered);
    connect(m_places, &PlacesMenu::addBookmarkChosen, this, &LocationBar::addBookmarkRequested);
    connect(m_places, &PlacesMenu::editFailed, this, &LocationBar::showMessage);
    connect(m_places, &PlacesMenu::unmountFailed, this, &LocationBar::showMessage);
}

QLineEdit* LocationBar::editor() {
    if (m_editor) return m_editor;
    // Made when first needed: a folder pane shows its crumbs, and most are never edited.
    m_editor = new QLineEdit(this);
    m_editor->setObjectName("locationEditor");
    enableClearButton(m_editor);
    m_editor->hide();
    m_editor->installEventFilter(this);
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->insertWidget(row->indexOf(m_searchNote) + 1, m_editor, 1);
    m_completion = new FolderCompletion(m_editor);
    connect(m_editor, &QLineEdit::textEdited, this, [this] { m_message.clear(); });
    connect(m_editor, &QLineEdit::returnPressed, this, [this] {
        QString typed = m_editor->text().trimmed();
        if (typed.isEmpty()) return;
        m_message.clear();
        // "/a/b/" is the folder /a/b, and its breadcrumbs are the same.
        while (typed.size() > 1 && typed.endsWith('/')) typed.chop(1);
        // A name that is not UTF-8 cannot be typed, but the folder shown and the folders offered are
        // known by their bytes.
        if (!m_folder.isEmpty() && typed == m_editStart) {
            emit folderRequested(m_folder);
            return;
        }
        if (const QByteArray known = m_completion->offered(typed); !known.isEmpty()) {
            emit folderRequested(known);
            return;
        }
        emit locationEntered(FolderCompletion::expandedHome(typed));
    });
    return m_editor;
}

QByteArray LocationBar::rootFor(const QByteArray& path, QString* title) const {
    // Until the mount table has been read, the home folder or the file system's root.
    Root best{"/", QStringLiteral("/")};
    const QByteArray home = QFile::encodeName(QDir::homePath());
    std::vector<Root> roots = m_roots;
    if (roots.empty()) roots.push_back({home, tr("Home")});
    for (const Root& r : roots)
        if (isUnder(path, r.path) && r.path.size() > best.path.size()) best = r;
    if (title) *title = best.title;
    return best.path;
}

void LocationBar::readRoots() {
    runInBackground(
        this, [] { return Mounts().entries(); },
        [this](const std::vector<MountEntry>& entries) {
            std::vector<Root> roots;
            for (const MountEntry& e : entries) {
                // The file system's root is "/" whatever its volume is called.
                const QString title = e.isHome        ? tr("Home")
                                      : e.root == "/" ? QStringLiteral("/")
                                                      : QString::fromStdString(e.label);
                roots.push_back({QByteArray::fromStdString(e.root), title});
            }
            if (m_roots.size() == roots.size() &&
                std::equal(roots.begin(), roots.end(), m_roots.begin(), [](const Root& a, const Root& b) {
                    return a.path == b.path && a.title == b.title;
                }))
                return;
            m_roots = std::move(roots);
            if (!m_folder.isEmpty()) showCrumbs();
        });
}

void LocationBar::showCrumbs() {
    QString title;
    // On a server the crumbs start from its root, called by the user and the server.
    if (const auto remote = RemoteLocation::parse(m_folder.toStdString())) {
        m_crumbs->setPath(QByteArray::fromStdString(remote->root()), QString::fromStdString(remote->title()),
                          m_folder);
        return;
    }
    // Inside an archive the crumbs start from the volume that holds the archive file.
    const auto inArchive = ArchiveLocation::parse(m_folder.toStdString());
    const QByteArray root =
        rootFor(inArchive ? QByteArray::fromStdString(inArchive->archive) : m_folder, &title);
    m_crumbs->setPath(root, title, m_folder);
}

void LocationBar::showFolder(const QByteArray& path) {
    const bool fresh = path != m_folder;
    m_folder = path;
    m_place = false;
    m_address.clear();
    m_places->setCurrentFolder(path);
    m_reload->hide();
    m_filter->show();
    m_search->show();
    hideSearch();
    if (fresh) {
        m_message.clear();
        QToolTip::hideText();
    }
    showCrumbs();
    stopEditing();
    // Volumes come and go; a reading of the mount table costs little next to a folder's listing.
    readRoots();
}

void LocationBar::showSearch(const QByteArray& folder, const SearchQuery& query) {
    showFolder(folder);
    const QString text = searchTitle(query);
    m_searchNote->setText(text);
    m_searchNote->setToolTip(text);
    m_searchNote->show();
    // The note follows the last crumb and takes the room the crumbs leave.
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->setStretchFactor(m_crumbs, 0);
    row->setStretchFactor(m_searchNote, 1);
}

QString LocationBar::searchTitle(const SearchQuery& query) {
    const QString name = QString::fromStdString(query.name);
    const QString content = QString::fromStdString(query.content);
    QString text;
    if (!name.isEmpty() && !content.isEmpty())
        text = tr("Search for “%1” containing “%2”").arg(name, content);
    else if (!name.isEmpty())
        text = tr("Search for “%1”").arg(name);
    else if (!content.isEmpty())
        text = tr("Search for “%1” in the files").arg(content);
    else if (query.kind == SearchQuery::Kind::FoldersOnly)
        text = tr("Search for all folders");
    else if (query.kind == SearchQuery::Kind::FilesOnly || query.sizeBounded())
        text = tr("Search for all files");
    else
        text = tr("Search for everything");

    QStringList narrowed;
    // The kind is said above when nothing else names what is looked for.
    if (!name.isEmpty() && query.kind == SearchQuery::Kind::FilesOnly) narrowed << tr("files only");
    if (!name.isEmpty() && query.kind == SearchQuery::Kind::FoldersOnly) narrowed << tr("folders only");
    const bool hasMax = query.maxSize != UINT64_MAX;
    if (query.minSize > 0 && hasMax)
        narrowed << tr("%1 to %2").arg(sizeText(query.minSize), sizeText(query.maxSize));
    else if (query.minSize > 0)
        narrowed << tr("at least %1").arg(sizeText(query.minSize));
    else if (hasMax)
        narrowed << tr("at most %1").arg(sizeText(query.maxSize));
    if (query.modifiedSinceNs > 0) {
        const QDate since = QDateTime::fromMSecsSinceEpoch(query.modifiedSinceNs / 1000000).date();
        narrowed << tr("modified since %1").arg(QLocale().toString(since, QLocale::ShortFormat));
    }
    return narrowed.isEmpty() ? text : tr("%1 (%2)").arg(text, narrowed.join(", "));
}

void LocationBar::hideSearch() {
    if (m_searchNote->isHidden()) return;
    m_searchNote->hide();
    m_searchNote->clear();
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->setStretchFactor(m_searchNote, 0);
    row->setStretchFactor(m_crumbs, 1);
}

QString LocationBar::searchText() const {
    return m_searchNote->isHidden() ? QString() : m_searchNote->text();
}

void LocationBar::showAddress(const QString& address, bool web) {
    m_folder.clear();
    hideSearch();
    m_places->setCurrentFolder({});
    m_reload->setVisible(web);
    m_filter->setVisible(!web);  // the trash's rows can be filtered, not searched below
    m_search->hide();
    if (address != m_address) m_message.clear();
    m_address = address;
    // The trash is a place like a folder: its crumb, and the text only while it is edited.
    m_place = !web && TrashListingSource::isLocation(address.toStdString());
    if (m_place) {
        m_crumbs->setPath(address.toUtf8(), tr("Trash"), address.toUtf8());
        stopEditing();
        return;
    }
    m_crumbs->hide();
    editor()->show();
    // Text the user is typing stays; the page's own changes of address do not overwrite it.
    if (!m_editor->hasFocus() || !m_editor->isModified()) {
        m_editor->setText(address);
        m_editor->setCursorPosition(0);
    }
}

void LocationBar::setHistory(bool canGoBack, bool canGoForward) {
    m_back->setEnabled(canGoBack);
    m_forward->setEnabled(canGoForward);
}

void LocationBar::setLoading(bool loading) {
    m_loading = loading;
    m_reload->setIcon(StandardIcons::standard(loading ? QStyle::SP_BrowserStop : QStyle::SP_BrowserReload));
    m_reload->setToolTip(loading ? tr("Stop") : tr("Reload"));
    m_reload->setAccessibleName(loading ? tr("Stop") : tr("Reload"));
}

void LocationBar::setActive(bool active) {
    if (active == m_active) return;
    m_active = active;
    update();
}

void LocationBar::startEditing() {
    if (showsCrumbs()) {
        m_editStart = m_place ? m_address : NameText::shown(m_folder.toStdString());
        editor()->setText(m_editStart);
        m_crumbs->hide();
        m_editor->show();
    }
    editor()->setModified(false);
    m_editor->selectAll();
    m_editor->setFocus(Qt::ShortcutFocusReason);
}

void LocationBar::stopEditing() {
    if (m_completion) m_completion->reset();
    if (!m_editor) {
        if (showsCrumbs()) m_crumbs->show();
        return;
    }
    if (!showsCrumbs()) {
        m_editor->setText(m_address);
        m_editor->setModified(false);
        return;
    }
    m_editor->hide();
    m_crumbs->show();
}

void LocationBar::showMessage(const QString& text) {
    m_message = text;
    QWidget* anchor = m_editor && m_editor->isVisible() ? static_cast<QWidget*>(m_editor) : m_crumbs;
    QToolTip::showText(anchor->mapToGlobal(QPoint(0, anchor->height())), text, anchor, {}, 10000);
}

bool LocationBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            stopEditing();
            emit editingCancelled();
            return true;
        }
        if (event->type() == QEvent::FocusOut && showsCrumbs()) {
            // A click elsewhere in the window ends the edit; a popup (the completion) or another
            // application taking the focus does not.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) stopEditing();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LocationBar::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!m_active) return;
    QPainter p(this);
    p.fillRect(0, height() - kMarkWidth, width(), kMarkWidth, palette().color(QPalette::Highlight));
}

}  // namespace kv
