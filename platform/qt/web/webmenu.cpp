#include "platform/qt/web/webmenu.h"

#include <QCoreApplication>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include <algorithm>

#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/web/webdropguard.h"

namespace kv {

namespace {

// The menu speaks as the page view it belongs to.
QString tr(const char* text) {
    return QCoreApplication::translate("kv::WebView", text);
}

QAction* add(QMenu* menu, const char* id, const QString& text, std::function<void()> run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(id);
    QObject::connect(a, &QAction::triggered, menu, std::move(run));
    return a;
}

// The window's other panes, in reading order: top to bottom, then left to right.
QList<BrowserPane*> otherPanes(const BrowserPane* self, const QWidget* window) {
    QList<BrowserPane*> found = WindowPanes::browsers(window);
    found.removeIf([self](BrowserPane* v) { return v == self || !v->paneWidget()->isVisible(); });
    return found;
}

void addLinkEntries(QMenu* menu, QWebEngineView& view, const QUrl& link) {
    QWebEnginePage* page = view.page();
    add(menu, "copyLink", tr("Copy Link"),
        [page] { page->triggerAction(QWebEnginePage::CopyLinkToClipboard); });
    add(menu, "saveLink", tr("Save Link into the Folder Beside"), [page, link] { page->download(link); });
    add(menu, "saveLinkAs", tr("Save Link As…"), [page, link] {
        // The download handler asks where to save a download the page is marked for.
        page->setProperty("kvAskWhere", true);
        page->download(link);
    });
    QMenu* panes = menu->addMenu(tr("Open Link in Pane"));
    panes->setObjectName("openLinkInPane");
    const BrowserPane* self = WindowPanes::browserAround(&view);
    for (BrowserPane* pane : otherPanes(self, view.window())) {
        const QString name = pane->locationName();
        QAction* a = add(panes, "openInPane", name.isEmpty() ? tr("(empty pane)") : name,
                         [pane, link] { pane->navigate(link.toString()); });
        a->setToolTip(pane->showsFolder() ? QString::fromUtf8(pane->folderPane().folder()) : name);
    }
    panes->setEnabled(!panes->isEmpty());
}

void addDownloads(QMenu* menu, std::function<void()> showDownloads) {
    if (!showDownloads) return;
    menu->addSeparator();
    add(menu, "downloads", tr("Downloads…"), std::move(showDownloads))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y));
}

}  // namespace

QMenu* WebMenu::create(QWebEngineView& view, WebDropGuard* guard, std::function<void()> showFind,
                       std::function<void()> showDownloads) {
    auto* menu = new QMenu(&view);
    menu->setObjectName("webMenu");
    QWebEnginePage* page = view.page();
    const QWebEngineContextMenuRequest* request = view.lastContextMenuRequest();
    BrowserPane* owner = WindowPanes::browserAround(&view);

    QAction* back = add(menu, "back", tr("Back"), [owner, &view] {
        if (owner)
            owner->goBack();
        else
            view.back();
    });
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    back->setEnabled(owner ? owner->canGoBack() : view.history()->canGoBack());
    QAction* forward = add(menu, "forward", tr("Forward"), [owner, &view] {
        if (owner)
            owner->goForward();
        else
            view.forward();
    });
    forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    forward->setEnabled(owner ? owner->canGoForward() : view.history()->canGoForward());
    add(menu, "reload", tr("Reload"), [&view] { view.reload(); })->setShortcut(Qt::Key_F5);
    if (!request) {
        addDownloads(menu, std::move(showDownloads));
        return menu;
    }

    const QUrl link = request->linkUrl();
    if (link.isValid()) {
        menu->addSeparator();
        addLinkEntries(menu, view, link);
    }
    const QUrl media = request->mediaUrl();
    if (request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage && media.isValid()) {
        menu->addSeparator();
        add(menu, "saveImage", tr("Save Image into the Folder Beside"),
            [page, media] { page->download(media); });
        add(menu, "copyImage", tr("Copy Image"),
            [page] { page->triggerAction(QWebEnginePage::CopyImageToClipboard); });
    }

    const auto edit = request->editFlags();
    const bool editable = request->isContentEditable();
    const bool selected = !request->selectedText().isEmpty();
    if (editable || selected) menu->addSeparator();
    if (editable && (edit & QWebEngineContextMenuRequest::CanCut))
        add(menu, "cut", tr("Cut"), [page] {
            page->triggerAction(QWebEnginePage::Cut);
        })->setShortcut(QKeySequence::Cut);
    if (selected)
        add(menu, "copy", tr("Copy"), [page] {
            page->triggerAction(QWebEnginePage::Copy);
        })->setShortcut(QKeySequence::Copy);
    if (editable)
        add(menu, "paste", tr("Paste"), [guard] { guard->paste(); })->setShortcut(QKeySequence::Paste);
    menu->addSeparator();
    add(menu, "selectAll", tr("Select All"), [page] {
        page->triggerAction(QWebEnginePage::SelectAll);
    })->setShortcut(QKeySequence::SelectAll);
    add(menu, "find", tr("Find in Page…"), [showFind] {
        showFind();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addDownloads(menu, std::move(showDownloads));
    return menu;
}

}  // namespace kv
