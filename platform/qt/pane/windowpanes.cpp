#include "platform/qt/pane/panefinder.h"

#include <algorithm>

#include "platform/qt/folderview/folderview.h"

namespace kv {

QList<FolderView*> PaneFinder::panes(const QWidget* window) {
    QList<FolderView*> found;
    if (!window) return found;
    for (FolderView* v : window->findChildren<FolderView*>())
        if (v->window() == window && v->isVisible() && !v->folder().isEmpty()) found << v;
    std::stable_sort(found.begin(), found.end(), [](const FolderView* a, const FolderView* b) {
        const QPoint pa = a->mapToGlobal(QPoint(0, 0));
        const QPoint pb = b->mapToGlobal(QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return found;
}

QList<FolderView*> PaneFinder::others(const FolderView& view) {
    QList<FolderView*> all = panes(view.window());
    all.removeAll(&view);
    return all;
}

FolderView* PaneFinder::next(const FolderView& view, bool forward) {
    const QList<FolderView*> all = panes(view.window());
    const qsizetype at = all.indexOf(&view);
    if (all.size() < 2 || at < 0) return nullptr;
    const qsizetype n = all.size();
    return all[(at + (forward ? 1 : n - 1)) % n];
}

}  // namespace kv
