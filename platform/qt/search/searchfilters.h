#pragma once

#include <QDateTime>
#include <QWidget>
#include <optional>

#include "platform/fs/search/searchquery.h"

class QComboBox;
class QLineEdit;

namespace kv {

// The search bar's second row, shown on request: what kind of item (files, folders), when it was last
// modified (today, the last 7 or 30 days, the last year) and a size range typed as sizes ("100 KiB",
// "2.5M", "1 GB"; units are powers of 1024, as the program writes sizes). Filters left as they are
// narrow nothing.
class SearchFilters : public QWidget {
    Q_OBJECT
  public:
    explicit SearchFilters(QWidget* parent = nullptr);

    // Writes the filters into the query; false when a size cannot be read, with what is wrong.
    // `now` sets where "today" and the spans end.
    bool apply(SearchQuery& query, QString* problem,
               const QDateTime& now = QDateTime::currentDateTime()) const;
    // Shows the filters a query holds (a search run again from the history).
    void set(const SearchQuery& query);
    void clear();
    // How many filters narrow the search (the bar's button says it).
    int activeCount() const;
    // The field holding a size that cannot be read, or null.
    QLineEdit* invalidField() const;

    QComboBox* kindBox() const { return m_kind; }
    QComboBox* modifiedBox() const { return m_modified; }
    QLineEdit* minSizeField() const { return m_minSize; }
    QLineEdit* maxSizeField() const { return m_maxSize; }

    // A size as typed: digits with an optional fraction and an optional unit (B, K, KB, KiB, M, ... E);
    // empty is no size.
    static std::optional<quint64> sizeFromText(const QString& text);

  signals:
    void changed();

  private:
    QComboBox* m_kind;
    QComboBox* m_modified;
    QLineEdit* m_minSize;
    QLineEdit* m_maxSize;
};

}  // namespace kv
