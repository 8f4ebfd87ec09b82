#pragma once

#include <QDialog>
#include <vector>

#include "platform/fs/places/bookmarks.h"

class QPushButton;
class QTreeWidget;

namespace kv {

// Edit Bookmarks: the bookmarks the places menu shows, to reorder, rename (in place, F2) and remove.
// Accepting it does not write: its owner writes changes() to the file, which keeps every bookmark
// not shown here (those after the first ones) as it is.
class BookmarksDialog : public QDialog {
    Q_OBJECT
  public:
    // The first bookmarks of the file, and how many follow them unshown.
    BookmarksDialog(const std::vector<Bookmark>& shown, size_t more, QWidget* parent = nullptr);

    // The bookmarks as listed now: which of those shown each is, and its new name when renamed.
    std::vector<BookmarkChange> changes() const;
    QTreeWidget* list() const { return m_list; }

    void renameCurrent();
    void removeCurrent();
    void moveCurrent(int by);

  private:
    void updateButtons();

    QTreeWidget* m_list;
    QPushButton* m_rename;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
};

}  // namespace kv
