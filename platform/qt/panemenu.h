#pragma once

#include <QList>
#include <QMenu>

class QAbstractItemView;

namespace kv {

class FolderView;

// Which of several panes: a small menu of their folders under a heading ("Copy to"), shown over the
// current item of a view with its first entry active, so the arrow keys and Return choose.
class PaneMenu : public QMenu {
    Q_OBJECT
  public:
    PaneMenu(const QString& heading, const QList<FolderView*>& panes, QWidget* parent);

    // Shows the menu below the view's current item, or in the middle of the view without one.
    void popupOver(QAbstractItemView* view);

  signals:
    // Only for a pane that still exists.
    void chosen(kv::FolderView* pane);
};

}  // namespace kv
