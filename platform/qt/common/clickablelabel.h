#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace kv {

// A label or picture that reports a click: the labels and images of the windows act on a click.
class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
        QLabel::mouseReleaseEvent(e);
    }
};

}  // namespace kv
