#include "platform/qt/pane/folderbeside.h"

#include <QVariant>

#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/pane/panefinder.h"

namespace kv {

namespace {

constexpr char kMark[] = "kvFolderBeside";

bool holdsFolder(const FolderView* pane) {
    return pane->folder().startsWith('/');  // not the trash, nor a place without a path
}

QString paneName(const FolderView* pane) {
    for (const QObject* o = pane->parent(); o; o = o->parent())
        if (qobject_cast<const BrowserView*>(o)) return o->objectName();
    return {};
}

}  // namespace

void FolderBeside::used(FolderView& pane) {
    if (QWidget* window = pane.window()) window->setProperty(kMark, QVariant::fromValue<QObject*>(&pane));
}

FolderView* FolderBeside::of(const QWidget* window) {
    if (!window) return nullptr;
    QList<FolderView*> panes = PaneFinder::panes(window);
    panes.removeIf([](const FolderView* p) { return !holdsFolder(p); });
    if (panes.isEmpty()) return nullptr;
    // The mark is only compared with live panes: a pane gone since leaves a pointer that matches none.
    const auto* marked = window->property(kMark).value<QObject*>();
    for (FolderView* p : panes)
        if (p == marked) return p;
    for (FolderView* p : panes)
        if (paneName(p) == QLatin1String("Hard")) return p;
    return panes.front();
}

}  // namespace kv
