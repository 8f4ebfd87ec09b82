#pragma once

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <array>
#include <vector>

#include "platform/fs/compare/foldercompare.h"

namespace kv {

// The rows of a comparison, "left item · action · right item", of the kinds the filters let through.
// Each row's action can be changed; the actions of the rows shown are what Run does.
class CompareModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { LeftName, LeftSize, LeftTime, Action, RightName, RightSize, RightTime, ColumnCount };
    static constexpr int kKinds = 6;

    explicit CompareModel(QObject* parent = nullptr);

    void setResult(CompareResult result, CompareOptions options);
    void clear();
    const CompareOptions& options() const { return m_options; }

    bool isShown(CompareKind kind) const { return m_shown[static_cast<size_t>(kind)]; }
    void setShown(CompareKind kind, bool shown);
    // Rows of each kind, shown or not.
    int count(CompareKind kind) const { return m_counts[static_cast<size_t>(kind)]; }

    const CompareRow& rowAt(int row) const {
        return m_rows[static_cast<size_t>(m_visible[static_cast<size_t>(row)])];
    }
    // Gives the rows the action; a row that cannot take it (a copy from a side without the item, a
    // delete of an item that is not there) keeps its own.
    void setAction(const QModelIndexList& rows, SyncAction action);
    static bool allows(const CompareRow& row, SyncAction action);
    // The rows shown: what Run does.
    std::vector<CompareRow> shownRows() const;
    // "3 to copy → (1.2 MB) · 1 to copy ← · 2 to delete · 10 the same"
    QString summary() const;

    static QString kindText(CompareKind kind);
    static QString actionText(SyncAction action);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void filter();

    CompareOptions m_options;
    std::vector<CompareRow> m_rows;
    std::vector<int> m_visible;
    std::array<bool, kKinds> m_shown{true, true, true, true, false, true};  // Same hidden at first
    std::array<int, kKinds> m_counts{};
};

}  // namespace kv
