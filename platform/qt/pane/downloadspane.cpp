#include "platform/qt/pane/downloadspane.h"

#include <QVariant>

#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"

namespace kv {

namespace {

constexpr char kMark[] = "kvDownloadsPane";

bool holdsFolder(const FolderPane* pane) {
    return pane->folder().startsWith('/');  // not the trash, nor a place without a path
}

// The drive pane the window's record names for downloads, before the user used any.
bool isDownloadsPane(const FolderPane* pane) {
    const BrowserPane* browser = WindowPanes::browserOf(*pane);
    return browser && WindowPanes::role(*browser) == WindowPanes::Role::Downloads;
}

}  // namespace

void DownloadsPane::used(FolderPane& pane) {
    if (QWidget* window = pane.paneWidget()->window())
        window->setProperty(kMark, QVariant::fromValue<QObject*>(pane.paneWidget()));
}

FolderPane* DownloadsPane::of(const QWidget* window) {
    if (!window) return nullptr;
    QList<FolderPane*> panes = WindowPanes::panes(window);
    panes.removeIf([](const FolderPane* p) { return !holdsFolder(p); });
    if (panes.isEmpty()) return nullptr;
    // The mark is only compared with live panes: a pane gone since leaves a pointer that matches none.
    const auto* marked = window->property(kMark).value<QObject*>();
    for (FolderPane* p : panes)
        if (p->paneWidget() == marked) return p;
    for (FolderPane* p : panes)
        if (isDownloadsPane(p)) return p;
    return panes.front();
}

}  // namespace kv
