#pragma once

#include <sys/types.h>
#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>
#include <memory>

#include "platform/fs/dirchange.h"
#include "platform/qt/dropdecision.h"
#include "platform/qt/foldermodel.h"

class QMenu;
class QMimeData;

namespace kv {

class FileOperations;

// A folder's contents as a file manager shows them: details (name, size, type, modified, sortable),
// icons or list; double-click or Enter opens a folder here and a file with the desktop's application;
// Backspace goes up; Shift/Ctrl select several; typing finds a name. It has the file manager's
// right-click menus and keys (rename, trash, delete, cut/copy/paste, new folder, properties, undo),
// takes drops of files from other panes and programs, and follows changes on disk. Listing, watching
// and every file operation run off the UI thread.
class FolderView : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { Icons, List, Details };

    // ops: the program's shared file operations (undo stack, jobs, watcher); null takes the
    // application's.
    explicit FolderView(QWidget* parent = nullptr, std::shared_ptr<FileOperations> ops = {});
    ~FolderView() override;

    void showFolder(const QByteArray& path);
    const QByteArray& folder() const { return m_model->folder(); }
    FolderModel* model() const { return m_model; }
    FileOperations* fileOperations() const { return m_ops.get(); }
    QAbstractItemView* currentView() const;
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    // The selected items' paths (raw bytes), in display order.
    QList<QByteArray> selectedPaths() const;
    // Makes the item current and the only one selected; false when it is not listed.
    bool selectName(const QByteArray& name);

    // What the menus and keys do.
    void openSelected();
    void openSelectedExternally();
    void copySelection(bool cut);
    void paste();
    void pasteInto(const QByteArray& dir);
    void renameCurrent();
    void trashSelection();
    // Asks first (a non-blocking question) unless confirm is false.
    void deleteSelection(bool confirm = true);
    void newFolder();
    void showProperties();
    void refresh();
    void undo();
    void setShowHidden(bool show);
    void sortBy(int column, Qt::SortOrder order);
    void typeAhead(const QString& text);

    // The right-click menu for the empty area or for the selected items; the caller owns it.
    QMenu* createContextMenu(bool onItems);

    // A drop at a position of the current view's viewport: the folder under it, or this folder.
    QByteArray dropTargetAt(const QPoint& viewportPos) const;
    DropDecision::Plan planDrop(const QMimeData* data, const QPoint& viewportPos,
                                Qt::KeyboardModifiers modifiers);
    // Runs the drop's job; returns what it does (IgnoreAction: nothing).
    Qt::DropAction dropFiles(const QMimeData* data, const QPoint& viewportPos,
                             Qt::KeyboardModifiers modifiers);

  signals:
    // The user opened a folder inside the view, or asked for the parent folder.
    void folderRequested(const QByteArray& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void setUpView(QAbstractItemView* v);
    QListView* iconsView();
    void activate(const QModelIndex& index);
    void goUp();
    void listed(int error, const QString& message);
    void updateEmptyNote();
    void folderChanged(const DirChange& change);
    void folderVanished();
    bool handleKey(QKeyEvent* key);
    bool isOurShortcut(QKeyEvent* key) const;
    void contextMenuAt(QAbstractItemView* view, const QPoint& pos);
    void afterJob(const QByteArray& folder);
    void applyPendingSelection();
    void forwardToView(QObject* viewport, QEvent* event);

    std::shared_ptr<FileOperations> m_ops;
    FolderModel* m_model;
    QStackedWidget* m_stack;
    QTreeView* m_details;
    QListView* m_icons = nullptr;  // see iconsView()
    QLabel* m_message;
    QLabel* m_banner;
    Mode m_mode = Mode::Details;
    QByteArray m_watched;
    QByteArray m_pendingSelect;  // a name to select (and maybe edit) once a refresh lists it
    bool m_pendingEdit = false;
    QString m_typed;
    QElapsedTimer m_typedClock;
    bool m_forwarding = false;
    QHash<QByteArray, dev_t> m_devices;  // filesystem of each path seen during one drag
};

}  // namespace kv
