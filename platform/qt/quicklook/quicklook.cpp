#include "platform/qt/quicklook/quicklook.h"

#include <QAbstractItemView>
#include <QChildEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <utility>

#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/quicklook/previewinterceptor.h"
#include "platform/qt/quicklook/previewpage.h"
#include "platform/qt/quicklook/previewschemehandler.h"

namespace kv {

QuickLook* QuickLook::of(const FolderPane& view) {
    return view.paneWidget()->findChild<QuickLook*>(QString(), Qt::FindDirectChildrenOnly);
}

void QuickLook::toggle(FolderPane& view) {
    if (closeFor(view)) return;
    QuickLook* look = of(view);
    if (!look) look = new QuickLook(view);
    look->follow();
    if (look->m_path.isEmpty()) return;  // nothing current to show
    look->place();
    look->show();
    look->raise();
}

bool QuickLook::closeFor(FolderPane& view) {
    QuickLook* look = of(view);
    if (!look || !look->isVisible()) return false;
    look->hide();
    // Nothing keeps playing or running behind a closed preview.
    look->m_page->setUrl(QUrl(QStringLiteral("about:blank")));
    look->dropCopy();
    look->m_path.clear();
    look->m_rowsReplaced = false;
    return true;
}

QuickLook::QuickLook(FolderPane& view)
    : QWidget(view.paneWidget(), Qt::Tool),
      m_view(view),
      m_profile(new QWebEngineProfile(this)),  // no storage name: off the record
      m_files(new PreviewSchemeHandler(this)),
      m_interceptor(new PreviewInterceptor(this)),
      m_page(new PreviewPage(m_profile, *m_files, this)),
      m_bar(new QWidget(this)),
      m_barText(new QLabel(tr("Remote content blocked"), m_bar)),
      m_web(new QWebEngineView(this)) {
    setObjectName("quickLook");
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_profile->installUrlSchemeHandler(PreviewSchemeHandler::scheme(), m_files);
    m_profile->setUrlRequestInterceptor(m_interceptor);
    QWebEngineSettings* s = m_profile->settings();
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, true);  // the PDF viewer
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    m_web->setPage(m_page);
    m_web->setContextMenuPolicy(Qt::NoContextMenu);
    m_web->setAcceptDrops(false);

    m_bar->setObjectName("remoteContentBar");
    m_bar->setAutoFillBackground(true);
    QPalette palette = m_bar->palette();
    palette.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xc4));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_bar->setPalette(palette);
    auto* allow = new QPushButton(tr("Allow for this page"), m_bar);
    allow->setObjectName("allowRemote");
    allow->setFocusPolicy(Qt::NoFocus);
    auto* barRow = new QHBoxLayout(m_bar);
    barRow->setContentsMargins(8, 4, 8, 4);
    barRow->addWidget(m_barText, 1);
    barRow->addWidget(allow);
    m_bar->hide();
    connect(allow, &QPushButton::clicked, this, &QuickLook::allowRemote);
    connect(m_interceptor, &PreviewInterceptor::blocked, this, &QuickLook::blocked, Qt::QueuedConnection);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_bar);
    column->addWidget(m_web, 1);
    watch(this);

    // The preview moves with the pane's current item; both of the pane's views share one selection.
    connect(view.currentView()->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!isVisible()) return;
        follow();
        // After the view has scrolled to the item.
        QMetaObject::invokeMethod(this, &QuickLook::keepItemInSight, Qt::QueuedConnection);
    });
    // Another folder resets the rows, which drops the current item without a word.
    connect(view.model(), &QAbstractItemModel::modelReset, this, &QuickLook::rowsReplaced);
    connect(view.model(), &FolderModel::listed, this, &QuickLook::listed);
}

QuickLook::~QuickLook() {
    // A page must go before its profile, and its view before it.
    delete m_web;
    delete m_page;
}

QUrl QuickLook::shownUrl() const {
    return m_files->allowedUrl();
}

void QuickLook::follow() {
    const QModelIndex current = m_view.currentView()->currentIndex();
    if (!current.isValid()) {
        if (isVisible()) closeFor(m_view);
        return;
    }
    const QByteArray path = m_view.model()->pathAt(current.row());
    if (std::exchange(m_rowsReplaced, false) && current.data(FolderModel::IsDirRole).toBool()) {
        // In a folder just opened, a folder current (the one Up came from) is no file to look at.
        closeFor(m_view);
        return;
    }
    if (path == m_path) return;
    showPath(path, current.data(FolderModel::IsDirRole).toBool());
}

void QuickLook::rowsReplaced() {
    if (isVisible()) m_rowsReplaced = true;
}

void QuickLook::listed() {
    // The pane's own selection after a listing (Up's folder, Back's item) came before this: with
    // none, the preview closes.
    if (m_rowsReplaced) follow();
}

void QuickLook::showPath(const QByteArray& path, bool isDir) {
    m_path = path;
    m_bar->hide();
    if (ArchivePlace::isArchive(path)) {
        // An item of an archive is shown from a copy taken out of it, kept while it shows.
        m_page->setUrl(QUrl(QStringLiteral("about:blank")));
        dropCopy();
        m_view.archivePlace()->copyOut(path, isDir, this, [this, path](const QByteArray& copy) {
            if (m_path != path || !isVisible()) {
                m_view.archivePlace()->dropCopy(copy);
                return;
            }
            m_copy = copy;
            if (!copy.isEmpty()) showFile(copy);
        });
        return;
    }
    dropCopy();
    showFile(path);
}

void QuickLook::dropCopy() {
    m_view.archivePlace()->dropCopy(m_copy);
    m_copy.clear();
}

void QuickLook::showFile(const QByteArray& path) {
    const QUrl url = m_files->allow(path);
    setWindowTitle(tr("%1 — Quick Look").arg(url.path().mid(1)));
    m_page->setUrl(url);
}

void QuickLook::blocked(const QUrl& firstParty) {
    if (firstParty.host() != shownUrl().host() || m_interceptor->remoteAllowed(firstParty)) return;
    m_bar->show();
}

void QuickLook::allowRemote() {
    m_interceptor->allowRemote(shownUrl());
    m_bar->hide();
    m_page->triggerAction(QWebEnginePage::Reload);
}

QRect QuickLook::placeBeside(const QRect& area, const QRect& pane, const QRect& item, const QSize& wanted) {
    const int least = std::min(wanted.width(), std::max(320, area.width() / 4));
    const int height = std::min(wanted.height(), area.height());
    auto column = [&](int left, int right, bool towardsLeft) {
        // A band of the screen, left to right; the frame keeps to its side nearer the pane or item.
        const int width = std::clamp(right - left + 1, 0, wanted.width());
        QRect r(towardsLeft ? left : right - width + 1, 0, width, height);
        r.moveTop(std::clamp(pane.center().y() - height / 2, area.top(), area.bottom() - height + 1));
        return r;
    };
    auto room = [](const QRect& r) { return r.width() * r.height(); };
    // Beside the pane: adjacent to it.
    const QRect right = column(pane.right() + 1, area.right(), true);
    const QRect left = column(area.left(), pane.left() - 1, false);
    const QRect& besidePane = right.width() >= left.width() ? right : left;
    if (besidePane.width() >= least) return besidePane;
    if (item.isEmpty()) return column(area.left(), area.right(), false);
    // The pane fills the screen: on the other side of the item, at the screen's edge.
    const QRect afterItem = column(item.right() + 1, area.right(), false);
    const QRect beforeItem = column(area.left(), item.left() - 1, true);
    const QRect& besideItem = afterItem.width() >= beforeItem.width() ? afterItem : beforeItem;
    if (besideItem.width() >= least) return besideItem;
    // An item as wide as the screen (a row of the details view): above or below it.
    const int width = std::min(wanted.width(), area.width());
    const int x = std::clamp(pane.center().x() - width / 2, area.left(), area.right() - width + 1);
    const QRect below(x, item.bottom() + 1, width, std::clamp(area.bottom() - item.bottom(), 0, height));
    const int aboveHeight = std::clamp(item.top() - area.top(), 0, height);
    const QRect above(x, item.top() - aboveHeight, width, aboveHeight);
    const QRect& aside = below.height() >= above.height() ? below : above;
    if (std::max(room(aside), room(besideItem)) == 0) return column(area.left(), area.right(), false);
    return room(aside) >= room(besideItem) ? aside : besideItem;
}

QRect QuickLook::paneOnScreen() const {
    const QWidget* pane = m_view.paneWidget();
    return QRect(pane->mapToGlobal(QPoint(0, 0)), pane->size());
}

QRect QuickLook::itemOnScreen() const {
    const QAbstractItemView* list = m_view.currentView();
    const QRect shown = list->viewport()->rect() & list->visualRect(list->currentIndex());
    if (shown.isEmpty()) return {};
    return QRect(list->viewport()->mapToGlobal(shown.topLeft()), shown.size());
}

void QuickLook::place() {
    const QWidget* anchor = m_view.paneWidget()->window();
    const QScreen* screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QRect frame = placeBeside(area, paneOnScreen(), itemOnScreen(),
                                    QSize(area.width() * 11 / 20, area.height() * 3 / 4));
    // The window manager's frame around the page: as it is once shown, as the pane's window has it before.
    const QWidget* framed = isVisible() ? static_cast<const QWidget*>(this) : anchor;
    const QRect outer = framed->frameGeometry(), inner = framed->geometry();
    const QMargins decoration(inner.left() - outer.left(), inner.top() - outer.top(),
                              outer.right() - inner.right(), outer.bottom() - inner.bottom());
    setGeometry(frame.marginsRemoved(decoration));
}

void QuickLook::keepItemInSight() {
    if (!isVisible()) return;
    const QRect item = itemOnScreen();
    if (!item.isEmpty() && frameGeometry().intersects(item)) place();
}

void QuickLook::watch(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children())
        if (child->isWidgetType()) watch(child);
}

bool QuickLook::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::ChildAdded) {
        // The web view draws through a child widget of its own, made later, which takes the keys.
        if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType()) watch(child);
        return false;
    }
    // Space and Escape close the preview also when it has the focus, before the page sees them.
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Space && key->key() != Qt::Key_Escape) || key->modifiers() != Qt::NoModifier)
        return false;
    if (event->type() == QEvent::KeyPress) {
        closeFor(m_view);
        m_view.paneWidget()->window()->activateWindow();
        m_view.focusItems();
    }
    event->accept();
    return true;
}

}  // namespace kv
