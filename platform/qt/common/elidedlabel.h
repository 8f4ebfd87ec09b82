#pragma once

#include <QLabel>

namespace kv {

// A one-line label that shows as much of its text as fits, eliding in the middle (a long path keeps
// its start and its last folder), the whole text in its tool tip. text() stays the whole text.
class ElidedLabel : public QLabel {
  public:
    explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kv
