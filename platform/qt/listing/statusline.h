#pragma once

#include <QByteArray>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

class QItemSelectionModel;

namespace kv {

class FileOperations;
class SearchStats;
class FolderModel;
class StatusCounts;

// The line under a folder view's rows: "12 folders, 40 files" (or "Listing… 12,345 items" while the
// rows stream in), "3 selected (12.0 KiB)" when something is selected, and the free space of the
// folder's volume. The free space is asked off the UI thread (a dead mount must not stall the view)
// when the folder changes, when it is refreshed and after every file job.
class StatusLine : public QWidget {
    Q_OBJECT
  public:
    StatusLine(FolderModel* model, QItemSelectionModel* selection, FileOperations& ops, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The model was given a new folder: "Listing…", and its volume's free space.
    void folderShown();
    // Asks for the shown folder's free space again.
    void updateFreeSpace();
    // The rows are a search's results: its counts (polled while it runs) replace the folder's;
    // null goes back to counting a folder.
    void setSearch(std::shared_ptr<const SearchStats> stats);
    // Says the counts again (a name filter changed what is shown).
    void showCounts() { updateTexts(); }

    // A part that stands in the counts' place while it is set (a notice about a file saved here, made
    // by whoever has news); null gives the place back. The line does not own it beyond its parentage.
    void setNotice(QWidget* part);
    QWidget* notice() const { return m_notice; }

    QString countsText() const { return m_counts->text(); }
    QString selectionText() const { return m_selection->text(); }
    QString freeText() const { return m_free->text(); }
    // Whether the free space is being asked for (off this thread): tests wait for the answer.
    bool askingFreeSpace() const { return !m_asking.isEmpty(); }
    StatusCounts* counts() const { return m_tally; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    static constexpr int kMarginV = 1;
    static constexpr int kSpacing = 12;

    void updateTexts();
    void freeSpaceKnown(const QByteArray& path, qint64 bytes);

    FolderModel* m_model;
    StatusCounts* m_tally;
    QLabel* m_counts;
    QLabel* m_selection;
    QLabel* m_free;
    QPointer<QWidget> m_notice;
    QByteArray m_freeOf;      // the folder the free space shown belongs to
    QByteArray m_asking;      // the folder whose question is on its way
    bool m_askAgain = false;  // a job ended while the question was out: its answer may be old
    std::shared_ptr<const SearchStats> m_search;
    QTimer m_searchPoll;
};

}  // namespace kv
