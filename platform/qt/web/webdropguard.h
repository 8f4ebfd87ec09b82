#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QUrl>
#include <functional>

class QMimeData;
class QWebEngineView;
class QWidget;

namespace kv {

// Nothing is handed to a page unasked. A drag carrying local files never reaches the page while it
// moves: the guard takes it in place of the page, and when the files are dropped it asks "Give 2
// files to example.org?" (No by default). Only a Yes replays the drag, enter, move and drop, to the
// page; a No, or a page that went elsewhere meanwhile, gives it nothing, not even the drag's start.
// Pasting files into a page asks the same way.
//
// The web view draws through a child widget of its own, which holds the focus and may take drags
// itself, so the guard watches the view and every widget inside it.
class WebDropGuard : public QObject {
    Q_OBJECT
  public:
    explicit WebDropGuard(QWebEngineView* view);

    // The local files of dragged or copied data; empty when there are none.
    static QList<QUrl> localFiles(const QMimeData* data);
    // The question's text, and the files it names (a few, then how many more).
    static QString question(int count, const QString& site);
    static QString fileList(const QList<QUrl>& files);

    // Pastes into the page what the clipboard holds, asking first when that is files.
    void paste();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void watch(QObject* object);
    void ask(const QList<QUrl>& files, std::function<void()> give);
    void replayDrop(QWidget* target, const QMimeData* data, QPoint pos, Qt::DropActions actions,
                    Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

    QWebEngineView* m_view;
    QPointer<QObject> m_held;  // where a drag with files entered, taken from the page
    bool m_replaying = false;
};

}  // namespace kv
