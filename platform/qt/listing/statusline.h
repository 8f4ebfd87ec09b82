#pragma once

#include <QByteArray>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class QItemSelectionModel;

namespace kv {

class SearchStats;
class FolderModel;
class StatusCounts;
class VolumeSpace;

// The line under a folder view's rows, in parts: "12 folders, 40 files" (or "Listing… 12,345 items"
// while the rows stream in), "3 selected (12.0 KiB)" when something is selected, and the free space
// of the folder's volume at the right end (VolumeSpace). Others may add parts of their own.
//
// The line fits any width: each part offers its texts from the fullest to the shortest ("9 folders,
// 0 files", "9 items"); a narrow line shortens the parts of low priority first, then drops them, and
// cuts the last one by whole words. A number is never cut, and what is left out shows in the tool tip.
class StatusLine : public QWidget {
    Q_OBJECT
  public:
    // The parts' priorities: what a narrow line keeps longest.
    enum Priority { FreeSpacePriority = 10, SelectionPriority = 20, CountsPriority = 30 };

    StatusLine(FolderModel* model, QItemSelectionModel* selection, VolumeSpace& space, QWidget* parent);
    ~StatusLine() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Adds the caller's label as a part, after those there are and before the free space; the line
    // places it, sets its text and shows or hides it, the rest (clicks, its tool tip) is the caller's.
    void addPart(QLabel* label, int priority);
    // A part's texts, fullest first, each saying the same in fewer words; none hides the part.
    void setPartTexts(QLabel* label, const QStringList& forms);

    // The model was given a new folder: "Listing…", and its volume's free space.
    void folderShown();
    // Asks for the shown folder's free space again.
    void updateFreeSpace();
    // The rows are a search's results: its counts (polled while it runs) replace the folder's;
    // null goes back to counting a folder.
    void setSearch(std::shared_ptr<const SearchStats> stats);
    // Says the counts again (a name filter changed what is shown).
    void showCounts() { updateTexts(); }

    // The parts' fullest texts; what a part shows now is its label's text (when it is not hidden).
    QString countsText() const { return fullText(m_counts); }
    QString selectionText() const { return fullText(m_selection); }
    QString freeText() const { return fullText(m_free); }
    QLabel* countsPart() const { return m_counts; }
    QLabel* selectionPart() const { return m_selection; }
    QLabel* freePart() const { return m_free; }
    // A part that stands in the counts' and the selection's place while it is set (a notice about a
    // file saved here, made by whoever has news); null gives the place back. The line does not own it
    // beyond its parentage.
    void setNotice(QWidget* part);
    QWidget* notice() const { return m_notice; }
    // Whether the free space is being asked for (off this thread): tests wait for the answer.
    bool askingFreeSpace() const;
    StatusCounts* counts() const { return m_tally; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    static constexpr int kMarginV = 1;
    static constexpr int kSpacing = 12;
    struct Part {
        QLabel* label;
        int priority;
        QStringList forms;
        std::vector<int> widths;  // of the forms, measured as they come
    };
    static void measure(Part& part);

    QLabel* makeLabel(const char* name);
    QString fullText(const QLabel* label) const;
    void updateTexts();
    void freeSpaceKnown(qint64 bytes);
    // Chooses each part's form for the width and places the parts: the free space at the right end,
    // the others from the left.
    void relayout();

    FolderModel* m_model;
    VolumeSpace& m_space;
    StatusCounts* m_tally;
    QLabel* m_counts;
    QLabel* m_selection;
    QLabel* m_free;
    std::vector<Part> m_parts;  // left to right
    QPointer<QWidget> m_notice;
    std::shared_ptr<const SearchStats> m_search;
    QTimer m_searchPoll;
};

}  // namespace kv
