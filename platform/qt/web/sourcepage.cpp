#include "platform/qt/web/sourcepage.h"

#include <sys/xattr.h>
#include <QCoreApplication>

#include <QAction>
#include <QDesktopServices>
#include <QMenu>

#include "platform/fs/core/background.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"

namespace kv {

namespace {

QByteArray attribute(const QByteArray& path, const char* name) {
    QByteArray value(4096, Qt::Uninitialized);
    const ssize_t n = ::lgetxattr(path.constData(), name, value.data(), static_cast<size_t>(value.size()));
    return n > 0 ? value.left(n) : QByteArray();
}

// Only addresses on the web open: a recorded file: or javascript: address is not followed.
QUrl webAddress(const QByteArray& text) {
    const QUrl url = QUrl::fromEncoded(text, QUrl::StrictMode);
    const QString s = url.scheme();
    return url.isValid() &&
                   (s == QLatin1String("http") || s == QLatin1String("https") || s == QLatin1String("ftp"))
               ? url
               : QUrl();
}

// The pane a page opens in: one showing a page, else the window's web pane.
BrowserPane* webPaneOf(const QWidget* window) {
    const QList<BrowserPane*> views = WindowPanes::browsers(window);
    for (BrowserPane* v : views)
        if (v->showsWeb() && v->paneWidget()->isVisible()) return v;
    return WindowPanes::withRole(window, WindowPanes::Role::Web);
}

}  // namespace

void SourcePage::offer(QMenu& menu, FolderPane& view) {
    const QList<int> rows = view.selectedRows();
    if (rows.size() != 1 || view.model()->isTrash() || view.model()->entryAt(rows.front()).isDir) return;
    const QByteArray path = view.model()->pathAt(rows.front());
    // Added only once found, so a menu without it is the menu as it always was.
    runInBackground(
        &menu,
        [path] {
            const QUrl referrer = webAddress(attribute(path, "user.xdg.referrer.url"));
            return referrer.isEmpty() ? webAddress(attribute(path, "user.xdg.origin.url")) : referrer;
        },
        [menu = &menu, from = view.paneWidget()](const QUrl& page) {
            if (page.isEmpty()) return;
            auto* action =
                new QAction(QCoreApplication::translate("kv::FolderView", "Open Source Page"), menu);
            action->setObjectName("openSourcePage");
            action->setToolTip(page.toDisplayString());
            QAction* before = nullptr;
            for (QAction* a : menu->actions())
                if (a->objectName() == QLatin1String("properties")) before = a;
            menu->insertAction(before, action);
            QObject::connect(action, &QAction::triggered, from,
                             [page, from] { SourcePage::open(page, from); });
        });
}

void SourcePage::open(const QUrl& page, QWidget* from) {
    if (BrowserPane* web = webPaneOf(from ? from->window() : nullptr)) {
        web->navigate(page.toString(QUrl::FullyEncoded));
        return;
    }
    QDesktopServices::openUrl(page);
}

}  // namespace kv
