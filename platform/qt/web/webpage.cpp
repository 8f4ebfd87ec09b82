#include "platform/qt/web/webpage.h"

#include <QDir>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QTimer>
#include <QWebEngineView>
#include <utility>

#include "platform/qt/web/pagedialogs.h"

namespace kv {

namespace {

// The name filters of a chooser from the types a page accepts ("image/*", "image/png", ".pdf"); an
// empty list when the page accepts anything. "All files" always comes last: a page's list of types
// is a hint, and the user may know better.
QStringList nameFilters(const QStringList& accepted) {
    QStringList patterns;
    const QMimeDatabase db;
    for (const QString& type : accepted) {
        if (type.startsWith('.')) {
            patterns << "*" + type;
        } else if (type.endsWith("/*")) {
            const QString group = type.chopped(1);
            for (const QMimeType& m : db.allMimeTypes())
                if (m.name().startsWith(group)) patterns << m.globPatterns();
        } else {
            const QMimeType m = db.mimeTypeForName(type);
            if (m.isValid()) patterns << m.globPatterns();
        }
    }
    patterns.removeDuplicates();
    if (patterns.isEmpty()) return {};
    return {QObject::tr("Files the page accepts (%1)").arg(patterns.join(' ')), QObject::tr("All files (*)")};
}

}  // namespace

QString WebPage::siteOf(const QUrl& url) {
    return url.host().isEmpty() ? url.toDisplayString() : url.host();
}

QString WebPage::chooserFolder() const {
    const QString folder = m_chooserFolder ? m_chooserFolder() : QString();
    return folder.isEmpty() ? QDir::homePath() : folder;
}

namespace {

// The page a link opened in a background tab is loaded into: it loads nothing, it only passes the
// link's address on, once, and goes.
class LinkCatcher : public QWebEnginePage {
  public:
    LinkCatcher(QWebEngineProfile* profile, std::function<void(const QUrl&)> open, QObject* parent)
        : QWebEnginePage(profile, parent), m_open(std::move(open)) {
        // A page that never navigates (a script's empty window) does not stay.
        QTimer::singleShot(10000, this, &QObject::deleteLater);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame && m_open && !url.isEmpty()) {
            std::exchange(m_open, nullptr)(url);
            deleteLater();
        }
        return false;
    }

  private:
    std::function<void(const QUrl&)> m_open;
};

}  // namespace

QWebEnginePage* WebPage::createWindow(WebWindowType type) {
    // Only the user's own request for a background tab (a middle click, Ctrl with a click) gets one: a
    // page's script cannot open tabs, its new windows open here.
    if (type == WebBrowserBackgroundTab && m_openInBackground)
        return new LinkCatcher(profile(), m_openInBackground, this);
    return this;
}

bool WebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (url.isLocalFile() && type != NavigationTypeTyped) return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QStringList WebPage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                 const QStringList& acceptedMimeTypes) {
    QWebEngineView* view = QWebEngineView::forPage(this);
    const QString site = siteOf(url());
    QFileDialog dialog(view ? view->window() : nullptr);
    dialog.setObjectName("webFileChooser");
    switch (mode) {
        case FileSelectOpen:
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setWindowTitle(tr("Choose a file to give to %1").arg(site));
            break;
        case FileSelectOpenMultiple:
            dialog.setFileMode(QFileDialog::ExistingFiles);
            dialog.setWindowTitle(tr("Choose files to give to %1").arg(site));
            break;
        case FileSelectUploadFolder:
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
            dialog.setWindowTitle(tr("Choose a folder to give to %1").arg(site));
            break;
        case FileSelectSave:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setWindowTitle(tr("Save a file from %1").arg(site));
            break;
    }
    dialog.setDirectory(chooserFolder());
    if (!oldFiles.isEmpty()) dialog.selectFile(oldFiles.front());
    const QStringList filters = nameFilters(acceptedMimeTypes);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    // The engine asks and waits for the answer; the dialog runs the event loop meanwhile.
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

PageDialogs& WebPage::dialogs() {
    if (!m_dialogs) m_dialogs = new PageDialogs(this);
    return *m_dialogs;
}

void WebPage::javaScriptAlert(const QUrl&, const QString& message) {
    dialogs().ask(PageDialogs::Kind::Alert, siteOf(url()), message);
}

bool WebPage::javaScriptConfirm(const QUrl&, const QString& message) {
    return dialogs().ask(PageDialogs::Kind::Confirm, siteOf(url()), message).accepted;
}

bool WebPage::javaScriptPrompt(const QUrl&, const QString& message, const QString& text, QString* result) {
    const PageDialogs::Answer answer = dialogs().ask(PageDialogs::Kind::Prompt, siteOf(url()), message, text);
    if (answer.accepted && result) *result = answer.text;
    return answer.accepted;
}

}  // namespace kv
