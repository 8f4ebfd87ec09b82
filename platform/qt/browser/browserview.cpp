#include "platform/qt/browser/browserview.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QShortcut>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/core/background.h"
#include "platform/fs/places/bookmarks.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/browser/downloadswindow.h"
#include "platform/qt/common/icontheme.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/shownpart.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/location/locationbar.h"
#include "platform/qt/location/placesmenu.h"
#include "platform/qt/location/recentfolders.h"
#include "platform/qt/pane/downloadspane.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/web/webdownloads.h"
#include "platform/qt/web/webpage.h"
#include "platform/qt/web/webview.h"

namespace kv {

namespace {

void prepareProfile(QWebEngineProfile* profile) {
    static bool done = false;
    if (done) return;
    done = true;
    QWebEngineSettings* s = profile->settings();
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    WebDownloads::of(profile);  // downloads go into the folder beside
}

// A graphics processor shows up as a DRM render node.
bool haveRenderNode() {
    DIR* dir = opendir("/dev/dri");
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = readdir(dir))
        if (std::strncmp(e->d_name, "renderD", 7) == 0) found = true;
    closedir(dir);
    return found;
}

}  // namespace

bool BrowserView::s_glIntegrationSet = false;

void BrowserView::chooseRendering() {
    // A web view is drawn by the Qt Quick scene graph, and a window holding one is composed through
    // it on every frame, folder panes and all. Without a graphics processor (a virtual machine, a
    // remote or virtual X display) its OpenGL is a software rasterizer, and that composition costs
    // 30-50 ms a frame of a full-screen window; drawing in software directly costs what a window
    // without a web view costs, and the start skips making an OpenGL context for the web engine.
    // Where a graphics processor exists, or the user chose a scene graph backend, OpenGL it is.
    const bool chosen =
        !qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || !qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND");
    if (!chosen && !haveRenderNode()) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        // Nothing then draws with OpenGL, yet the web engine makes a context to share at start-up
        // (30 ms and more of emulated OpenGL). Without the X connection's OpenGL that is skipped;
        // the setting is taken back once the application object exists (see applicationMade), so
        // programs started from here keep theirs.
        if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
            qputenv("QT_XCB_GL_INTEGRATION", "none");
            s_glIntegrationSet = true;
        }
        return;
    }
    // The web engine shares its OpenGL context with the windows'.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void BrowserView::applicationMade() {
    if (s_glIntegrationSet) qunsetenv("QT_XCB_GL_INTEGRATION");
    s_glIntegrationSet = false;
    IconTheme::setUp();
}

BrowserView::BrowserView(const PaneServices& services, QWidget* parent)
    : QWidget(parent),
      m_bar(new LocationBar(services.recent, this)),
      m_stack(new QStackedWidget(this)),
      m_folder(new FolderView(services, m_stack)),
      m_recent(services.recent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bar);
    layout->addWidget(m_stack, 1);
    m_stack->addWidget(m_folder);
    // The window may place the view partly outside itself: the bar and the rows fit the part it shows.
    auto* shown = new ShownPart(this);
    layout->setContentsMargins(shown->hidden());
    connect(shown, &ShownPart::changed, this,
            [layout](QMargins hidden) { layout->setContentsMargins(hidden); });
    WindowPanes::add(*this);
    connect(m_folder, &FolderView::folderRequested, this, &BrowserView::openFolder);
    connect(m_folder, &FolderView::searchStarted, this, &BrowserView::searchStarted);
    connect(m_folder, &FolderView::searchClosed, this, &BrowserView::searchClosed);
    connect(m_folder, &FolderView::newTabRequested, this, [this](const QByteArray& path) {
        Location where;
        where.folder = true;
        where.path = path;
        emit tabWanted(where, true);
    });
    // A server's question cancelled: back to where the pane was, as if the place had not been opened.
    connect(m_folder, &FolderView::placeCancelled, this, [this] {
        if (!m_history.canGoBack()) return;
        goBack();
        m_history.dropForward();
        updateBar();
    });

    connect(m_bar, &LocationBar::backRequested, this, &BrowserView::goBack);
    connect(m_bar, &LocationBar::forwardRequested, this, &BrowserView::goForward);
    connect(m_bar, &LocationBar::reloadRequested, this, [this] {
        if (m_web) m_web->reload();
    });
    connect(m_bar, &LocationBar::stopRequested, this, &BrowserView::stop);
    connect(m_bar, &LocationBar::folderRequested, this, [this](const QByteArray& path) {
        openFolder(path);
        focusContent();
    });
    connect(m_bar, &LocationBar::locationEntered, this, &BrowserView::enterLocation);
    connect(m_bar, &LocationBar::addBookmarkRequested, this, &BrowserView::addBookmark);
    connect(m_bar, &LocationBar::filterRequested, m_folder->find(), &FolderFind::showFilter);
    connect(m_bar, &LocationBar::searchRequested, m_folder->find(), &FolderFind::showSearchBar);
    connect(m_bar, &LocationBar::editingCancelled, this, &BrowserView::focusContent);

    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), [this] { goBack(); }},
        {QKeySequence(Qt::ALT | Qt::Key_Right), [this] { goForward(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_L), [this] { m_bar->startEditing(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_D), [this] { addBookmark(); }},
        {QKeySequence(Qt::ALT | Qt::Key_Home), [this] { openFolder(QFile::encodeName(QDir::homePath())); }},
    };
    for (const auto& [sequence, run] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, run);
    }

    // The mouse's back and forward buttons act anywhere in the view, over the list or the page.
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // Another application taking the focus leaves the mark where it was.
        if (now) m_bar->setActive(now == this || isAncestorOf(now));
        if (now && m_folder->isAncestorOf(now)) DownloadsPane::used(*m_folder);
    });
}

BrowserView::~BrowserView() {
    WindowPanes::remove(*this);
}

FolderPane& BrowserView::folderPane() {
    return *m_folder;
}

bool BrowserView::showsFolder() const {
    return m_stack->currentWidget() == m_folder;
}

bool BrowserView::showsWeb() const {
    return m_web && m_stack->currentWidget() == m_web;
}

QWidget* BrowserView::focusTarget() const {
    if (!showsFolder() && m_web) return m_web;
    return m_folder->currentView();
}

void BrowserView::focusContent() {
    if (QWidget* target = focusTarget()) target->setFocus(Qt::OtherFocusReason);
}

void BrowserView::ensureWeb() {
    if (m_web) return;
    auto* web = new WebView(m_stack);
    auto* page = new WebPage(web);
    // A page's file chooser starts where its downloads go: the folder of the pane beside.
    page->setChooserFolder([this] {
        if (m_chooserFolder) return m_chooserFolder();
        const FolderPane* beside = DownloadsPane::of(window());
        return beside ? QFile::decodeName(beside->folder()) : QString();
    });
    prepareProfile(page->profile());
    web->setPage(page);
    web->setShowDownloads([this] { DownloadsWindow::showFor(this); });
    page->setOpenInBackground([this](const QUrl& url) { emit tabWanted(classify(url.toString()), true); });
    m_web = web;
    m_stack->addWidget(m_web);
    connect(m_web, &QWebEngineView::titleChanged, this, &BrowserView::locationChanged);
    connect(m_web, &QWebEngineView::urlChanged, this, &BrowserView::updateBar);
    connect(m_web, &QWebEngineView::loadStarted, this, [this] {
        m_bar->setLoading(true);
        updateBar();
    });
    connect(m_web, &QWebEngineView::loadFinished, this, [this] {
        m_bar->setLoading(false);
        updateBar();
    });
}

void BrowserView::navigate(const QString& text) {
    push(classify(text));
}

void BrowserView::openFolder(const QByteArray& path) {
    Location where;
    where.folder = true;
    where.path = path;
    push(where);
}

void BrowserView::push(const Location& where) {
    // The folder shown again is shown afresh, not one more step to go back through.
    if (showsFolder() && m_history.isHere(where)) {
        showStep();
        return;
    }
    if (m_locked && !m_history.empty()) {
        emit tabWanted(where, false);
        return;
    }
    leave();
    m_history.push(where);
    showStep();
}

QByteArray BrowserView::currentName() const {
    if (m_history.empty() || !showsFolder()) return {};
    const QModelIndex current = m_folder->currentView()->currentIndex();
    return current.isValid() ? QByteArray::fromStdString(m_folder->model()->entryAt(current.row()).name)
                             : QByteArray();
}

BrowseHistory BrowserView::history() const {
    BrowseHistory copy = m_history;
    if (const QByteArray current = currentName(); !current.isEmpty()) copy.leave(current);
    return copy;
}

void BrowserView::restore(BrowseHistory history) {
    if (history.empty()) return;
    leave();
    m_history = std::move(history);
    m_history.forgetPages();
    showStep();
}

void BrowserView::searchStarted(const SearchQuery& query) {
    if (m_history.empty() || !showsFolder()) return;
    // A search from the results refines them: one step back still leads to the folder.
    if (m_history.refineSearch(query)) {
        updateBar();
        return;
    }
    leave();
    m_history.pushSearch(m_folder->folder(), query);
    updateBar();
    emit locationChanged();
}

void BrowserView::searchClosed() {
    if (m_history.empty() || !m_history.here()->search) return;
    if (m_history.searchClosesBack()) {
        goBack();
        return;
    }
    // No folder step before the results (they were all that was left): this step becomes the folder.
    m_history.dropSearch();
    showStep();
}

void BrowserView::leave() {
    if (const QByteArray current = currentName(); !current.isEmpty()) m_history.leave(current);
}

void BrowserView::showStep() {
    if (!m_history.here()->where.folder && m_web && m_history.pageHeld()) {
        // The engine still holds this visit, its own Back and Forward included: it is shown as left.
        m_stack->setCurrentWidget(m_web);
        updateBar();
        emit locationChanged();
        return;
    }
    // A page loaded now comes after the engine's current one, which drops the engine's forward steps.
    const int floor = m_web && m_web->history()->count() > 0 ? m_web->history()->currentItemIndex() + 1 : 0;
    show(m_history.here()->where);
    const BrowseHistory::Step& step = *m_history.here();
    if (step.search && showsFolder()) m_folder->startSearch(*step.search);
    if (showsWeb()) m_history.pageLoaded(floor);
    if (showsFolder()) {
        m_recent.visited(m_folder->folder());
        if (!step.current.isEmpty()) m_folder->selectWhenListed(step.current);
    }
    updateBar();
}

void BrowserView::show(const Location& where) {
    if (where.folder) {
        m_stack->setCurrentWidget(m_folder);
        m_folder->showFolder(where.path);
    } else {
        ensureWeb();
        m_stack->setCurrentWidget(m_web);
        // Given as typed; the engine shows its own error page for a text that is not an address.
        m_web->setUrl(QUrl::fromUserInput(where.address));
    }
    emit locationChanged();
}

bool BrowserView::canGoBack() const {
    if (showsWeb() && m_history.backWithinPage(m_web->history()->currentItemIndex())) return true;
    return m_history.canGoBack();
}

bool BrowserView::canGoForward() const {
    if (showsWeb() && m_history.pageHeld() && m_web->history()->canGoForward()) return true;
    return m_history.canGoForward();
}

void BrowserView::goBack() {
    if (showsWeb() && m_history.backWithinPage(m_web->history()->currentItemIndex())) {
        m_web->back();
        return;
    }
    if (!m_history.canGoBack()) return;
    leave();
    m_history.back();
    showStep();
}

void BrowserView::goForward() {
    if (showsWeb() && m_history.pageHeld() && m_web->history()->canGoForward()) {
        m_web->forward();
        return;
    }
    if (!m_history.canGoForward()) return;
    leave();
    m_history.forward();
    showStep();
}

void BrowserView::updateBar() {
    const BrowseHistory::Step* here = m_history.here();
    if (showsFolder() && here && here->search && m_folder->isSearching()) {
        m_bar->showSearch(m_folder->folder(), *here->search);
    } else if (showsFolder() && !m_folder->folder().startsWith('/') &&
               !ArchiveLocation::is(m_folder->folder().toStdString()) &&
               !RemoteLocation::is(m_folder->folder().toStdString())) {
        m_bar->showAddress(QString::fromUtf8(m_folder->folder()), false);  // a place such as the trash
    } else if (showsFolder()) {
        m_bar->showFolder(m_folder->folder());
    } else {
        const QString typed = here ? here->where.address : QString();
        const QUrl url = showsWeb() ? m_web->url() : QUrl();
        m_bar->showAddress(url.isEmpty() ? typed : url.toString(), showsWeb());
    }
    m_bar->setHistory(canGoBack(), canGoForward());
}

void BrowserView::enterLocation(const QString& text) {
    const Location where = classify(text);
    // Web addresses and places that are not paths (the trash) need no folder on disk.
    if (!where.folder || !where.path.startsWith('/')) {
        navigate(text);
        focusContent();
        return;
    }
    // Whether the folder is there is asked off the UI thread: the path may be on a dead mount.
    const QByteArray path = where.path;
    runInBackground(
        this,
        [path] {
            struct stat st {};
            if (::stat(path.constData(), &st) != 0) return errno;
            return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        },
        [this, text, path](int error) {
            const QString shown = NameText::shown(path.toStdString());
            if (error == ENOENT) {
                m_bar->showMessage(tr("“%1” does not exist.").arg(shown));
            } else if (error == ENOTDIR) {
                m_bar->showMessage(tr("“%1” is not a folder.").arg(shown));
            } else if (error != 0) {
                m_bar->showMessage(
                    tr("“%1” cannot be opened: %2").arg(shown, QString::fromLocal8Bit(std::strerror(error))));
            } else {
                navigate(text);
                focusContent();
            }
        });
}

void BrowserView::addBookmark() {
    if (!showsFolder()) return;
    const QByteArray folder = m_folder->folder();
    runInBackground(
        this,
        [folder, file = Bookmarks::defaultFile()] {
            QString error;
            const bool ok = Bookmarks::add(file, folder, {}, &error);
            return ok ? QString() : (error.isEmpty() ? tr("unknown error") : error);
        },
        [this, folder](const QString& error) {
            const QString shown = NameText::shown(folder.toStdString());
            if (error.isEmpty()) {
                m_bar->showMessage(tr("“%1” is in the bookmarks.").arg(shown));
                m_bar->placesMenu()->reload();
            } else {
                m_bar->showMessage(tr("“%1” could not be added to the bookmarks: %2").arg(shown, error));
            }
        });
}

bool BrowserView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress) return false;
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    if (button != Qt::BackButton && button != Qt::ForwardButton) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget))) return false;
    if (button == Qt::BackButton)
        goBack();
    else
        goForward();
    return true;
}

void BrowserView::stop() {
    if (m_web) m_web->stop();
}

QString BrowserView::locationName() const {
    if (m_history.empty()) return {};
    if (showsFolder()) {
        if (m_folder->model()->isTrash()) return tr("Trash");
        QByteArray p = m_folder->folder();
        while (p.size() > 1 && p.endsWith('/')) p.chop(1);
        if (p == "/") return QStringLiteral("/");
        return QString::fromUtf8(p.mid(p.lastIndexOf('/') + 1));
    }
    const QString title = m_web->title();
    const QString address = m_web->url().toString();
    // For a page without a title the engine makes one up from the address, less its scheme; that is
    // no title, and the page is named by its whole address.
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    const QString bare = scheme < 0 ? address : address.mid(scheme + 3);
    if (title.isEmpty() || title == address || title == bare) return address;
    return title;
}

}  // namespace kv
