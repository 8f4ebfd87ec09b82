#pragma once

#include <QItemSelection>
#include <QObject>
#include <QTimer>

class QItemSelectionModel;

namespace kv {

class FolderModel;

// The numbers a folder view's status line shows: its folders and files (hidden ones only while shown)
// and how many items are selected with the bytes of the selected files. They are kept up as rows come
// and go and as the selection changes by its steps, so a click in a 100,000-row folder costs what the
// click changed, not a pass over every row. Where a change does not say what it was (rows changed in
// place, a new order, rows removed from the selection without a signal), everything is counted again
// once the event loop is back, from the store's flag bytes and the selection's ranges.
class StatusCounts : public QObject {
    Q_OBJECT
  public:
    struct Totals {
        qint64 folders = 0;
        qint64 files = 0;
        qint64 selected = 0;
        qint64 selectedFiles = 0;
        quint64 selectedBytes = 0;  // of the selected files; folders count nothing
        bool operator==(const Totals&) const = default;
    };

    StatusCounts(const FolderModel* model, const QItemSelectionModel* selection, QObject* parent = nullptr);

    // Counts again first if a change is waiting for it.
    const Totals& totals();

  signals:
    void changed();

  private:
    void addRows(int first, int last);
    void addSelection(const QItemSelection& ranges, int sign);
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // Marks the totals as unknown until recount(), which the event loop runs next.
    void invalidate();
    void recount();

    const FolderModel* m_model;
    const QItemSelectionModel* m_selection;
    Totals m_totals;
    bool m_stale = false;
    QTimer m_recount;
};

}  // namespace kv
