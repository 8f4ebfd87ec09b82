#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QAbstractItemView;
class QModelIndex;

namespace kv {

// Opens a view's items as the user prefers (Preferences::singleClick): by a double click and Enter, or
// by a plain single click and Enter. With a single click, a double click opens once, by its first
// click: its second click and the double click itself are left alone.
class ClickOpener : public QObject {
    Q_OBJECT
  public:
    ClickOpener(QAbstractItemView* view, std::function<void(const QModelIndex&)> open);

  private:
    std::function<void(const QModelIndex&)> m_open;
    QElapsedTimer m_clickOpened;  // when a single click last opened an item
};

}  // namespace kv
