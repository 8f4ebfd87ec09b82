#pragma once

#include <QLabel>

namespace kv {

// What a folder view says in place of its rows, over the whole view: that the folder is empty (clicks
// pass through to the view below, which still takes a right-click or a drop), or why the folder cannot
// be shown (covering the view).
class FolderNote : public QLabel {
    Q_OBJECT
  public:
    explicit FolderNote(QWidget* parent);

    // After a listing or a refresh: the empty note when there are no rows, else none. An error stays.
    // hiddenRows: the entries listed but not shown because hidden files are not.
    void showRows(int rows, int hiddenRows, bool trash);
    // What the empty note says: why nothing is shown, and how to see what is there.
    static QString emptyText(int hiddenRows, bool trash);
    void showError(const QString& text);
    // A note of another kind over rows that are missing for a reason (nothing found, all filtered).
    void showText(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void cover(const QString& text, bool error);
};

}  // namespace kv
