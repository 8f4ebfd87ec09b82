#pragma once

#include <QObject>
#include <array>

#include "platform/qt/listing/foldermodel.h"

class QTreeView;

namespace kv {

class WidestName;

// The columns of the details view, sized from what they show and fitted to the view's width. The
// Name column takes what the others leave. It wants room for the widest name (in a wide view not
// quite all of it, so some room stays for the others), and a column that would leave it less is
// hidden until there is room again: Type first, then Modified, then Size, and last the columns a
// place brings (the trash's origins, a search's folders). A narrow pane shows the names and what
// fits beside them, and never starts with a sideways scroll bar. A column the user widened keeps
// its width.
class DetailsColumns : public QObject {
    Q_OBJECT
  public:
    DetailsColumns(QTreeView* view, WidestName* names);

    // Whether a column belongs to what is shown (OriginColumn in the trash, FolderColumn for a
    // search's results); Size, Type and Modified always do.
    void setWanted(int column, bool wanted);
    bool isWanted(int column) const { return m_wanted[static_cast<size_t>(column)]; }
    // Hides and shows the columns for the view's width and rows now.
    void fit();
    // The width a column takes when shown: what its texts need, or what the user made it.
    int widthOf(int column) const;
    // What the Name column wants before any other column is shown.
    int nameWanted() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int contentWidth(int column) const;

    QTreeView* m_view;
    QWidget* m_viewport;  // the view's, known from the start
    WidestName* m_names;
    std::array<bool, FolderModel::ColumnCount> m_wanted{};
    std::array<int, FolderModel::ColumnCount> m_userWidth{};  // 0: from the content
    bool m_fitting = false;
};

}  // namespace kv
