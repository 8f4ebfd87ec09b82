#include "platform/qt/panemenu.h"

#include <QAbstractItemView>

#include "platform/fs/background.h"
#include "platform/qt/folderview.h"

namespace kv {

PaneMenu::PaneMenu(const QString& heading, const QList<FolderView*>& panes, QWidget* parent) : QMenu(parent) {
    setObjectName("paneChooser");
    setAttribute(Qt::WA_DeleteOnClose);
    addSection(heading);
    for (FolderView* pane : panes) {
        QAction* a = addAction(FolderModel::displayName(pane->folder().toStdString()));
        connect(a, &QAction::triggered, this, [this, pane, guard = Receiver(pane)] {
            if (guard.alive()) emit chosen(pane);
        });
        if (!activeAction()) setActiveAction(a);
    }
}

void PaneMenu::popupOver(QAbstractItemView* view) {
    const QRect item = view->visualRect(view->currentIndex());
    const QRect shown = view->viewport()->rect();
    const QPoint at = item.isValid() && shown.intersects(item) ? item.bottomLeft() : shown.center();
    popup(view->viewport()->mapToGlobal(at));
}

}  // namespace kv
