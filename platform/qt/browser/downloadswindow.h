#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

// The Downloads window: this run's downloads (DownloadList), newest at the bottom, each with its
// name, how far it got or how it ended, and its folder. Open opens a saved file in its application,
// Show in Folder shows it selected in a pane of the window the list was opened from, Retry starts a
// failed or cancelled one again into the same folder, Cancel stops one that runs; a double click
// opens. One window for the program, made when first asked for.
class DownloadsWindow : public QWidget {
    Q_OBJECT
  public:
    // Shows the window (made the first time), its Show in Folder going to from's window.
    static DownloadsWindow* showFor(QWidget* from);
    static DownloadsWindow* instance();

    QTreeWidget* list() const { return m_list; }
    void open();
    void showInFolder();
    void retry();
    void cancel();

  private:
    DownloadsWindow();
    quint64 currentId() const;
    void added(quint64 id);
    void changed(quint64 id);
    void refill();
    void updateButtons();
    void fill(QTreeWidgetItem* item, quint64 id);

    QTreeWidget* m_list;
    QPushButton* m_open;
    QPushButton* m_show;
    QPushButton* m_retry;
    QPushButton* m_cancel;
    QPushButton* m_clear;
    QPointer<QWidget> m_from;
};

}  // namespace kv
