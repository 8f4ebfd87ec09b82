#pragma once

#include <QPoint>
#include <QTabBar>
#include <QTimer>

class QMimeData;

namespace kv {

// The row of a pane's tabs. Tabs are dragged to reorder them; dragged down out of the strip they
// become a drag that another pane's strip takes (a move, with Ctrl a copy). Files dragged over a tab
// bring it to the front after a moment, and dropped on it go to its folder. A middle click closes a tab,
// a double click on the free part opens one. What these mean for the tabs is the owner's: the strip
// only says what happened.
class TabStrip : public QTabBar {
    Q_OBJECT
  public:
    // A tab on the move between panes: the source strip and the tab's index, for this program only.
    static constexpr char kTabMime[] = "application/x-kestrovan-tab";

    explicit TabStrip(QWidget* parent = nullptr);

    // The strip a tab drag of this program came from, and the tab's index; null when the data is no
    // such drag or its strip is gone.
    static TabStrip* sourceOf(const QMimeData* data, int* index);

  signals:
    void newTabRequested();
    void closeRequested(int index);
    void menuRequested(int index, const QPoint& global);
    // A tab of another strip was dropped here, before the tab at `at` (count(): at the end).
    void tabArrived(kv::TabStrip* from, int fromIndex, int at, bool copy);
    void filesDropped(int index, const QMimeData* data, Qt::KeyboardModifiers modifiers);

  protected:
    // A tab is no wider than a long folder name: its title elides.
    QSize tabSizeHint(int index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void startDrag(QMouseEvent* event);
    int insertionAt(const QPoint& pos) const;

    int m_pressed = -1;
    QPoint m_pressPos;
    QTimer m_hover;  // brings the tab under a drag of files to the front
    int m_hoverIndex = -1;
};

}  // namespace kv
