#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/pane/paneservices.h"

class QAbstractItemView;
class QWidget;

namespace kv {

class ArchivePlace;
class FolderModel;
class StatusLine;

// A folder pane as the helpers around it see it: what it shows, what is selected, and the few things
// they ask of it. The folder view is the one implementation; the helpers (archives, trash, search,
// drag and drop, downloads, quick look, the pane menus) take this, so none of them depends on the
// widget that owns them.
class FolderPane {
  public:
    // The pane's widget: its window, where it is on the screen, the parent of what it owns.
    virtual QWidget* paneWidget() = 0;
    const QWidget* paneWidget() const { return const_cast<FolderPane*>(this)->paneWidget(); }
    virtual const QByteArray& folder() const = 0;
    virtual FolderModel* model() const = 0;
    // What the panes of the program share (file operations, folder watch, archive session, recent
    // folders); they outlive the pane.
    virtual const PaneServices& services() const = 0;
    FileOperations& fileOperations() const { return services().ops; }
    // The item view on show (details, list or icons).
    virtual QAbstractItemView* currentView() const = 0;
    // The selected rows, and the selected items' paths (raw bytes), in display order.
    virtual QList<int> selectedRows() const = 0;
    virtual QList<QByteArray> selectedPaths() const = 0;
    // Shows a folder (or a location inside an archive, or the trash) in the pane.
    virtual void showFolder(const QByteArray& path) = 0;
    virtual void refresh() = 0;
    // Selects the item once a listing shows it, opening its name for editing when edit.
    virtual void selectWhenListed(const QByteArray& name, bool edit) = 0;
    // What a job started here does when it ends, while the pane exists: andThen, then the folder
    // shown when the job began is listed again if it still is.
    virtual FileOperations::Done whenDone(FileOperations::Done andThen = {}) = 0;
    // Copies or moves the items into a folder, as a paste or a drop does.
    virtual void transfer(const QList<QByteArray>& sources, const QByteArray& targetDir, bool move,
                          FileOperations::Done andThen = {}) = 0;
    // Gives the keyboard focus to the rows.
    virtual void focusItems() = 0;
    virtual ArchivePlace* archivePlace() const = 0;
    // The line under the rows: its counts, and notices others give (DownloadNotice).
    virtual StatusLine* statusLine() const = 0;

  protected:
    FolderPane() = default;
    ~FolderPane() = default;
    FolderPane(const FolderPane&) = delete;
    FolderPane& operator=(const FolderPane&) = delete;
};

// A browser view as the web helpers and the window's pane list see it.
class BrowserPane {
  public:
    virtual QWidget* paneWidget() = 0;
    virtual void navigate(const QString& text) = 0;
    // The folder's name, or the page's title.
    virtual QString locationName() const = 0;
    virtual bool showsFolder() const = 0;
    virtual bool showsWeb() const = 0;
    virtual FolderPane& folderPane() = 0;
    // One step back or forward in the view's history (within a page's own history first).
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;

  protected:
    BrowserPane() = default;
    ~BrowserPane() = default;
    BrowserPane(const BrowserPane&) = delete;
    BrowserPane& operator=(const BrowserPane&) = delete;
};

}  // namespace kv
