#include "platform/qt/web/webmenu.h"

#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>

#include <algorithm>

#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/web/webdropguard.h"
#include "platform/qt/web/webview.h"

namespace kv {

namespace {

QAction* add(QMenu* menu, const char* id, const QString& text, std::function<void()> run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(id);
    QObject::connect(a, &QAction::triggered, menu, std::move(run));
    return a;
}

// The window's other panes, in reading order: top to bottom, then left to right.
QList<BrowserView*> otherPanes(const BrowserView* self, const QWidget* window) {
    QList<BrowserView*> found;
    for (BrowserView* v : window->findChildren<BrowserView*>())
        if (v != self && v->window() == window && v->isVisible()) found << v;
    std::stable_sort(found.begin(), found.end(), [](const BrowserView* a, const BrowserView* b) {
        const QPoint pa = a->mapToGlobal(QPoint(0, 0));
        const QPoint pb = b->mapToGlobal(QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return found;
}

void addLinkEntries(QMenu* menu, WebView& view, const QUrl& link) {
    QWebEnginePage* page = view.page();
    add(menu, "copyLink", WebView::tr("Copy Link"),
        [page] { page->triggerAction(QWebEnginePage::CopyLinkToClipboard); });
    add(menu, "saveLink", WebView::tr("Save Link into the Folder Beside"),
        [page, link] { page->download(link); });
    add(menu, "saveLinkAs", WebView::tr("Save Link As…"), [page, link] {
        // The download handler asks where to save a download the page is marked for.
        page->setProperty("kvAskWhere", true);
        page->download(link);
    });
    QMenu* panes = menu->addMenu(WebView::tr("Open Link in Pane"));
    panes->setObjectName("openLinkInPane");
    const BrowserView* self = view.browserView();
    for (BrowserView* pane : otherPanes(self, view.window())) {
        const QString name = pane->locationName();
        QAction* a = add(panes, "openInPane", name.isEmpty() ? WebView::tr("(empty pane)") : name,
                         [pane, link] { pane->navigate(link.toString()); });
        a->setToolTip(pane->showsFolder() ? QString::fromUtf8(pane->folderView()->folder()) : name);
    }
    panes->setEnabled(!panes->isEmpty());
}

}  // namespace

QMenu* WebMenu::create(WebView& view) {
    auto* menu = new QMenu(&view);
    menu->setObjectName("webMenu");
    QWebEnginePage* page = view.page();
    const QWebEngineContextMenuRequest* request = view.lastContextMenuRequest();
    BrowserView* owner = view.browserView();

    QAction* back = add(menu, "back", WebView::tr("Back"), [owner, &view] {
        if (owner)
            owner->goBack();
        else
            view.back();
    });
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    back->setEnabled(owner ? owner->canGoBack() : view.history()->canGoBack());
    QAction* forward = add(menu, "forward", WebView::tr("Forward"), [owner, &view] {
        if (owner)
            owner->goForward();
        else
            view.forward();
    });
    forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    forward->setEnabled(owner ? owner->canGoForward() : view.history()->canGoForward());
    add(menu, "reload", WebView::tr("Reload"), [&view] { view.reload(); })->setShortcut(Qt::Key_F5);
    if (!request) return menu;

    const QUrl link = request->linkUrl();
    if (link.isValid()) {
        menu->addSeparator();
        addLinkEntries(menu, view, link);
    }
    const QUrl media = request->mediaUrl();
    if (request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage && media.isValid()) {
        menu->addSeparator();
        add(menu, "saveImage", WebView::tr("Save Image into the Folder Beside"),
            [page, media] { page->download(media); });
        add(menu, "copyImage", WebView::tr("Copy Image"),
            [page] { page->triggerAction(QWebEnginePage::CopyImageToClipboard); });
    }

    const auto edit = request->editFlags();
    const bool editable = request->isContentEditable();
    const bool selected = !request->selectedText().isEmpty();
    if (editable || selected) menu->addSeparator();
    if (editable && (edit & QWebEngineContextMenuRequest::CanCut))
        add(menu, "cut", WebView::tr("Cut"), [page] {
            page->triggerAction(QWebEnginePage::Cut);
        })->setShortcut(QKeySequence::Cut);
    if (selected)
        add(menu, "copy", WebView::tr("Copy"), [page] {
            page->triggerAction(QWebEnginePage::Copy);
        })->setShortcut(QKeySequence::Copy);
    if (editable)
        add(menu, "paste", WebView::tr("Paste"), [&view] {
            view.dropGuard()->paste();
        })->setShortcut(QKeySequence::Paste);
    menu->addSeparator();
    add(menu, "selectAll", WebView::tr("Select All"), [page] {
        page->triggerAction(QWebEnginePage::SelectAll);
    })->setShortcut(QKeySequence::SelectAll);
    add(menu, "find", WebView::tr("Find in Page…"), [&view] {
        view.showFind();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    return menu;
}

}  // namespace kv
