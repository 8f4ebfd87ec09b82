#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <memory>

#include "platform/fs/compare/foldercompare.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace kv {

class CompareModel;
class FileOperations;

// Compares two folders and makes them alike: the folders (each editable), how to compare, a table of
// rows "left item · action · right item" with a filter for each kind of row, the action of each row
// changed by its menu or keys, a summary, and Run, which does the actions of the rows shown as one
// job of the file operations (progress, clash questions, undo, the trash). The comparison runs off
// the UI thread and can be stopped.
class CompareWindow : public QWidget {
    Q_OBJECT
  public:
    CompareWindow(FileOperations& ops, const QString& left, const QString& right, QWidget* parent = nullptr);
    ~CompareWindow() override;

    CompareOptions options() const;
    CompareModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    bool isComparing() const { return m_cancel != nullptr; }

    void compare();
    void cancelCompare();
    void run();

  signals:
    void compared();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void finished(quint64 generation, CompareResult result, CompareOptions options);
    void updateCounts();
    void setBusy(bool busy);
    void setRowAction(SyncAction action);

    FileOperations& m_ops;
    CompareModel* m_model;
    QLineEdit* m_left;
    QLineEdit* m_right;
    QComboBox* m_by;
    QCheckBox* m_recursive;
    QCheckBox* m_ignoreCase;
    QCheckBox* m_mirror;
    QLineEdit* m_include;
    QLineEdit* m_exclude;
    QPushButton* m_compare;
    QPushButton* m_stop;
    QPushButton* m_run;
    std::array<QCheckBox*, 6> m_filters{};
    QTableView* m_table;
    QLabel* m_summary;
    QLabel* m_status;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

}  // namespace kv
