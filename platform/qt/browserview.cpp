#include "platform/qt/browserview.h"

#include <dirent.h>

#include <cstring>

#include <QCoreApplication>
#include <QFileDialog>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/fs/mounts.h"
#include "platform/fs/trashlistingsource.h"
#include "platform/qt/fileoperations.h"
#include "platform/qt/folderview.h"

namespace kv {

namespace {

// Web pages stay web pages: they cannot open local files or folders, and a page's request for a new
// window opens in the same view rather than somewhere the user did not ask for.
class WebPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (url.isLocalFile() && type != NavigationTypeTyped) return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

void askWhereToSave(QWebEngineDownloadRequest* download) {
    const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + "/" +
                              download->downloadFileName();
    const QString target = QFileDialog::getSaveFileName(nullptr, QObject::tr("Save download as"), suggested);
    if (target.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo info(target);
    download->setDownloadDirectory(info.absolutePath());
    download->setDownloadFileName(info.fileName());
    download->accept();
}

void prepareProfile(QWebEngineProfile* profile) {
    static bool done = false;
    if (done) return;
    done = true;
    QWebEngineSettings* s = profile->settings();
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, askWhereToSave);
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
}

BrowserView::Location BrowserView::classify(const QString& text) {
    Location where;
    static const QStringList trash = {QStringLiteral("trash:"), QStringLiteral("trash:/"),
                                      QStringLiteral("trash:///")};
    if (trash.contains(text.trimmed(), Qt::CaseInsensitive)) {
        where.folder = true;
        where.path = QByteArray(TrashListingSource::kLocation.data(),
                                static_cast<qsizetype>(TrashListingSource::kLocation.size()));
        return where;
    }
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(text);
        where.folder = url.isLocalFile() && !url.toLocalFile().isEmpty();
        where.path = url.toLocalFile().toUtf8();
    } else if (text.startsWith('/')) {
        where.folder = true;
        where.path = QByteArray::fromStdString(Mounts::rootOf(text.toStdString()));
    }
    if (!where.folder) {
        where.path.clear();
        where.address = text;
    }
    return where;
}

BrowserView::BrowserView(FileOperations& ops, QWidget* parent)
    : QStackedWidget(parent), m_folder(new FolderView(ops, this)) {
    addWidget(m_folder);
    connect(m_folder, &FolderView::folderRequested, this, [this](const QByteArray& path) {
        Location where;
        where.folder = true;
        where.path = path;
        m_history.resize(static_cast<size_t>(m_position + 1));
        m_history.push_back(where);
        m_position = static_cast<int>(m_history.size()) - 1;
        show(where);
    });
}

bool BrowserView::showsFolder() const {
    return currentWidget() == m_folder;
}

QWidget* BrowserView::focusTarget() const {
    if (!showsFolder() && m_web) return m_web;
    return m_folder->currentView();
}

void BrowserView::ensureWeb() {
    if (m_web) return;
    m_web = new QWebEngineView(this);
    auto* page = new WebPage(m_web);
    prepareProfile(page->profile());
    m_web->setPage(page);
    addWidget(m_web);
    connect(m_web, &QWebEngineView::titleChanged, this, &BrowserView::locationChanged);
}

void BrowserView::navigate(const QString& text) {
    const Location where = classify(text);
    m_history.resize(static_cast<size_t>(m_position + 1));
    m_history.push_back(where);
    m_position = static_cast<int>(m_history.size()) - 1;
    show(where);
}

void BrowserView::show(const Location& where) {
    if (where.folder) {
        setCurrentWidget(m_folder);
        m_folder->showFolder(where.path);
    } else {
        ensureWeb();
        setCurrentWidget(m_web);
        // Given as typed; the engine shows its own error page for a text that is not an address.
        m_web->setUrl(QUrl::fromUserInput(where.address));
    }
    emit locationChanged();
}

void BrowserView::goBack() {
    if (!showsFolder() && m_web && m_web->history()->canGoBack()) {
        m_web->back();
        return;
    }
    if (m_position <= 0) return;
    --m_position;
    show(m_history[static_cast<size_t>(m_position)]);
}

void BrowserView::stop() {
    if (m_web) m_web->stop();
}

QString BrowserView::locationName() const {
    if (m_position < 0) return {};
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
