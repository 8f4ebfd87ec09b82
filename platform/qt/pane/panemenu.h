#pragma once

#include <QList>
#include <QMenu>
#include <QRect>

class QAbstractItemView;

namespace kv {

class FolderPane;

// Which of several panes: a small menu of them under a heading ("Copy to"), each named by where it is
// in the window and by its folder ("1  Top right pane: /home/me"; panes often show the same folder), shown
// over the current item of a view with its first entry active, so the arrow keys, a digit or Return
// choose.
class PaneMenu : public QMenu {
    Q_OBJECT
  public:
    PaneMenu(const QString& heading, const QList<FolderPane*>& panes, QWidget* parent);

    // Shows the menu below the view's current item, or in the middle of the view without one.
    void popupOver(QAbstractItemView* view);

    // Where `pane` is among `all` (the window's panes, it included, in one coordinate system):
    // "Left pane", "Bottom right pane", "Middle pane"; "Pane" when nothing tells them apart.
    static QString placeName(const QRect& pane, const QList<QRect>& all);

  signals:
    // Only for a pane that still exists.
    void chosen(kv::FolderPane* pane);
};

}  // namespace kv
