#include "platform/qt/pane/windowpanes.h"

#include <QWidget>
#include <algorithm>
#include <map>

#include "platform/qt/pane/folderpane.h"

namespace kv {

namespace {

struct Registry {
    QList<FolderPane*> folders;  // in the order they were made
    QList<BrowserPane*> browsers;
    std::map<const BrowserPane*, WindowPanes::Role> roles;
};

Registry& registry() {
    static Registry r;
    return r;
}

template <typename Pane>
void sortByReadingOrder(QList<Pane*>& panes) {
    std::stable_sort(panes.begin(), panes.end(), [](Pane* a, Pane* b) {
        const QPoint pa = a->paneWidget()->mapToGlobal(QPoint(0, 0));
        const QPoint pb = b->paneWidget()->mapToGlobal(QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
}

}  // namespace

void WindowPanes::add(FolderPane& pane) {
    registry().folders << &pane;
}

void WindowPanes::remove(FolderPane& pane) {
    registry().folders.removeAll(&pane);
}

void WindowPanes::add(BrowserPane& pane) {
    registry().browsers << &pane;
}

void WindowPanes::remove(BrowserPane& pane) {
    registry().browsers.removeAll(&pane);
    registry().roles.erase(&pane);
}

QList<FolderPane*> WindowPanes::panes(const QWidget* window) {
    QList<FolderPane*> found;
    if (!window) return found;
    for (FolderPane* p : registry().folders) {
        const QWidget* w = p->paneWidget();
        if (w->window() == window && w->isVisible() && !p->folder().isEmpty()) found << p;
    }
    sortByReadingOrder(found);
    return found;
}

QList<FolderPane*> WindowPanes::others(const FolderPane& pane) {
    QList<FolderPane*> all = panes(pane.paneWidget()->window());
    all.removeAll(&pane);
    return all;
}

FolderPane* WindowPanes::next(const FolderPane& pane, bool forward) {
    const QList<FolderPane*> all = panes(pane.paneWidget()->window());
    const qsizetype at = all.indexOf(&pane);
    if (all.size() < 2 || at < 0) return nullptr;
    const qsizetype n = all.size();
    return all[(at + (forward ? 1 : n - 1)) % n];
}

FolderPane* WindowPanes::paneOf(const QWidget* widget) {
    if (!widget) return nullptr;
    for (FolderPane* p : registry().folders)
        if (p->paneWidget() == widget) return p;
    return nullptr;
}

QList<BrowserPane*> WindowPanes::browsers(const QWidget* window) {
    QList<BrowserPane*> found;
    if (!window) return found;
    for (BrowserPane* b : registry().browsers)
        if (b->paneWidget()->window() == window) found << b;
    sortByReadingOrder(found);
    return found;
}

BrowserPane* WindowPanes::browserOf(const FolderPane& pane) {
    for (BrowserPane* b : registry().browsers)
        if (&b->folderPane() == &pane) return b;
    return nullptr;
}

BrowserPane* WindowPanes::browserAround(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        for (BrowserPane* b : registry().browsers)
            if (b->paneWidget() == widget) return b;
    return nullptr;
}

void WindowPanes::setRole(BrowserPane& pane, Role role) {
    registry().roles[&pane] = role;
}

WindowPanes::Role WindowPanes::role(const BrowserPane& pane) {
    const auto it = registry().roles.find(&pane);
    return it == registry().roles.end() ? Role::None : it->second;
}

BrowserPane* WindowPanes::withRole(const QWidget* window, Role role) {
    // A pane with tabs has a browser view per tab: the one on show is the pane's.
    BrowserPane* hidden = nullptr;
    for (BrowserPane* b : browsers(window)) {
        if (WindowPanes::role(*b) != role) continue;
        if (b->paneWidget()->isVisibleTo(b->paneWidget()->window())) return b;
        if (!hidden) hidden = b;
    }
    return hidden;
}

}  // namespace kv
