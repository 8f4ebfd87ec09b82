#pragma once

#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include "platform/qt/foldermodel.h"

namespace kv {

// A folder's contents as a file manager shows them: details (name, size, type, modified, sortable),
// icons or list; double-click or Enter opens a folder here and a file with the desktop's application;
// Backspace goes up; Shift/Ctrl select several; typing finds a name. A folder that cannot be read says
// so inside the view. Listing runs off the UI thread.
class FolderView : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { Icons, List, Details };

    explicit FolderView(QWidget* parent = nullptr);

    void showFolder(const QByteArray& path);
    const QByteArray& folder() const { return m_model->folder(); }
    FolderModel* model() const { return m_model; }
    QAbstractItemView* currentView() const;
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    // The selected items' paths (raw bytes), in display order.
    QList<QByteArray> selectedPaths() const;

  signals:
    // The user opened a folder inside the view, or asked for the parent folder.
    void folderRequested(const QByteArray& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void activate(const QModelIndex& index);
    void goUp();
    void listed(int error, const QString& message);

    FolderModel* m_model;
    QStackedWidget* m_stack;
    QTreeView* m_details;
    QListView* m_icons;
    QLabel* m_message;
    Mode m_mode = Mode::Details;
};

}  // namespace kv
