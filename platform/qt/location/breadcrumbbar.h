#pragma once

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <vector>

class QToolButton;

namespace kv {

// A folder's path as buttons, one per folder from a root (a volume, the home folder) to the folder
// shown: a click opens that folder, a click on the arrow after it lists its sub-folders. When the bar
// is too narrow the middle folders give way to a "…" button that offers them, so the root and the
// folder shown stay in sight; narrower still, the root gives way too, and the folder shown stays whole
// while there is room for it. Paths are raw bytes: a name that is not UTF-8 shows with replacement
// characters and is opened by its bytes. A click on the empty part asks for the path as text.
class BreadcrumbBar : public QWidget {
    Q_OBJECT
  public:
    explicit BreadcrumbBar(QWidget* parent = nullptr);

    // root is path itself or a folder above it; rootTitle names its button.
    void setPath(const QByteArray& root, const QString& rootTitle, const QByteArray& path);
    const QByteArray& path() const { return m_path; }

    // The folders of the buttons in sight, left to right, and those the "…" button offers.
    QList<QByteArray> shownFolders() const;
    QList<QByteArray> hiddenFolders() const;
    // The button of a folder, or null; its arrow with arrow = true.
    QToolButton* buttonOf(const QByteArray& folder, bool arrow = false) const;
    QToolButton* moreButton() const { return m_more; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void folderClicked(const QByteArray& folder);
    void editRequested();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Crumb {
        QByteArray folder;
        QString title;
        QToolButton* button = nullptr;
        QToolButton* arrow = nullptr;
        bool hidden = false;
    };
    void clear();
    void relayout();
    int arrowWidth() const;
    void showSubfolders(const Crumb& crumb, const QByteArray& next);
    void showHidden();

    QByteArray m_path;
    std::vector<Crumb> m_crumbs;
    QToolButton* m_more;
};

}  // namespace kv
