#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPalette>

class QAbstractItemView;
class QWidget;

namespace kv {

// Shows which pane of a window the keys go to: a folder pane that does not hold the keyboard focus
// paints its selection in the inactive colours, even while its window is the active one (Qt changes
// colours per window only). Where the palette's inactive highlight is the active one (some styles'
// palettes), a paler mix of it with the base colour stands in, so the two panes still differ.
class PaneHighlight : public QObject {
    Q_OBJECT
  public:
    // pane: the widget whose descendants hold the focus when the pane does.
    explicit PaneHighlight(QWidget* pane);

    void addView(QAbstractItemView* view);
    bool isActive() const { return m_active; }
    // The selection colour (and its text colour) of a pane without the focus, from a palette.
    static QColor inactiveHighlight(const QPalette& palette);
    static QColor inactiveHighlightedText(const QPalette& palette);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void focusMoved(QWidget* now);
    void apply();
    void apply(QAbstractItemView* view);

    QWidget* m_pane;
    QList<QAbstractItemView*> m_views;
    bool m_active = false;
};

}  // namespace kv
