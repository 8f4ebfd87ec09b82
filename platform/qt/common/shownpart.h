#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <vector>

class QWidget;

namespace kv {

// The part of a widget that its window shows. A window may place a control partly outside itself (a
// pane reaching past the window's right edge by the window's own arithmetic), or a later control over
// a strip of it (panes side by side that overlap); what the control draws for the user (its bars, its
// buttons, an arrow) belongs in the part that shows. This follows the widget, its parents and its
// siblings as they move, resize, show and hide, and says how much of each side is hidden.
class ShownPart : public QObject {
    Q_OBJECT
  public:
    explicit ShownPart(QWidget* widget);

    // How far each side of the widget lies outside its parents, down to its window, or under a
    // sibling above it.
    static QMargins hiddenOf(const QWidget* widget);
    // The widget's rectangle less what is hidden; the whole rectangle when nothing of it shows.
    static QRect shownRect(const QWidget* widget);
    QMargins hidden() const { return m_hidden; }

  signals:
    void changed(QMargins hidden);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void watchParents();
    void later();
    void update();

    QWidget* m_widget;
    std::vector<QPointer<QWidget>> m_watched;
    QMargins m_hidden;
    bool m_pending = false;
};

}  // namespace kv
