#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>
#include <vector>

#include "platform/fs/jobs/trasheditem.h"
#include "platform/fs/listing/dirchange.h"

class QTreeView;

namespace kv {

class FileOperations;
class FolderPane;
class FolderWatch;

// What a folder view does while it shows the trash ("trash:/"): the trash's columns (where each item
// came from, when it was deleted), following the trash folders (watched, and listed again after any
// job, which may have trashed something), and the trash's commands: Restore, Delete Permanently and
// Empty Trash, each a job off the UI thread; the last two ask first.
class TrashPlace : public QObject {
    Q_OBJECT
  public:
    TrashPlace(FolderPane& view, QTreeView* details);
    ~TrashPlace() override;

    static bool isTrash(const QByteArray& location);

    // Before the view lists a location: sets its columns and, for the trash, which trash folders.
    void aboutToShow(const QByteArray& location);

    void restoreSelection();
    void deleteSelection();
    void empty();

    // The selected rows' items.
    std::vector<TrashedItem> selectedItems() const;

  private:
    void arrangeColumns(bool trash);
    void follow();
    void unwatchAll();
    void folderChanged(const DirChange& change);
    void confirm(const QString& objectName, const QString& title, const QString& text,
                 std::function<void()> run);

    FolderPane& m_view;
    // Kept apart: the view is partly gone when this is destroyed.
    FileOperations& m_ops;
    FolderWatch& m_watch;
    QTreeView* m_details;
    bool m_arranged = false;
    bool m_trashColumns = false;
    QList<QByteArray> m_watched;  // the trash folders' files/ folders
};

}  // namespace kv
