#pragma once

#include <QWidget>

#include "platform/fs/search/searchquery.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace kv {

class SearchFilters;

// The small bar over a folder's rows that starts a search below it: a text, whether it is looked for
// in the files' contents instead of their names, and the options (regular expression, case) in a
// menu. A second row, opened with the Filters button, narrows by kind, age and size. Enter starts;
// Escape stops a running search, or closes the bar when none runs. It also says how many folders could
// not be read, with a link that lists them.
class SearchBar : public QWidget {
    Q_OBJECT
  public:
    explicit SearchBar(QWidget* parent = nullptr);

    void open();
    // The query the bar's fields make; false, and why, when a filter cannot be read.
    bool makeQuery(SearchQuery& query, QString* problem = nullptr) const;
    SearchQuery query() const;
    void setQuery(const SearchQuery& query);
    void setRunning(bool running);
    void setUnreadable(quint64 count);
    QLineEdit* field() const { return m_field; }
    SearchFilters* filters() const { return m_filters; }
    QToolButton* filtersButton() const { return m_filtersButton; }

  signals:
    void searchRequested(const SearchQuery& query);
    // Escape while a search runs.
    void stopRequested();
    // Escape with none running, or the close button: back to the folder.
    void closeRequested();
    void unreadableRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void submit();
    void updateFiltersButton();

    QLineEdit* m_field;
    QCheckBox* m_contents;
    QAction* m_regex;
    QAction* m_case;
    QLabel* m_unreadable;
    QToolButton* m_filtersButton;
    SearchFilters* m_filters;
    bool m_running = false;
};

}  // namespace kv
