#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QAbstractItemView;
class QModelIndex;

namespace kv {

// Opens a view's items as the user prefers (Preferences::singleClick): by a double click and Enter, or
// by a plain single click and Enter. With a single click, a double click opens once, by its first
// click: its second click and the double click itself are left alone. A middle click opens aside.
class ClickOpener : public QObject {
    Q_OBJECT
  public:
    // openAside: what a middle click on an item does.
    ClickOpener(QAbstractItemView* view, std::function<void(const QModelIndex&)> open,
                std::function<void(const QModelIndex&)> openAside = {});

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAbstractItemView* m_view;
    std::function<void(const QModelIndex&)> m_open;
    std::function<void(const QModelIndex&)> m_openAside;
    QElapsedTimer m_clickOpened;  // when a single click last opened an item
};

}  // namespace kv
