#pragma once

#include <QDialog>
#include <vector>

#include "platform/fs/operations/renameplan.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;

namespace kv {

class RenameRowsModel;

// Renames several items in one step: a name mask and an extension mask with fields, find and replace,
// a change of case, and a table of old and new names that follows every keystroke, refused names
// (clashes, empty, a slash, too long) marked before anything happens. Accepting runs the renames as
// one job (rows()); the masks used last are offered again in this run.
class RenameDialog : public QDialog {
    Q_OBJECT
  public:
    RenameDialog(std::vector<RenameSource> items, RenamePlan::TakenFn taken, QWidget* parent = nullptr);
    ~RenameDialog() override;

    RenameRules rules() const;
    const std::vector<RenameRow>& rows() const;
    // The (path, new name) pairs to run: the rows that are ready.
    std::vector<std::pair<std::string, std::string>> renames() const;

    QLineEdit* nameMask() const { return m_nameMask; }
    QLineEdit* findText() const { return m_find; }

    void accept() override;

  private:
    void update();
    QWidget* fieldsButton(QLineEdit* into);

    std::vector<RenameSource> m_items;
    RenamePlan::TakenFn m_taken;
    RenameRowsModel* m_model;
    QLineEdit* m_nameMask;
    QLineEdit* m_extensionMask;
    QLineEdit* m_find;
    QLineEdit* m_replace;
    QCheckBox* m_regex;
    QCheckBox* m_matchCase;
    QComboBox* m_case;
    QSpinBox* m_start;
    QSpinBox* m_step;
    QSpinBox* m_digits;
    QComboBox* m_dateFormat;
    QComboBox* m_timeFormat;
    QTableView* m_table;
    QLabel* m_summary;
    QPushButton* m_run;
};

}  // namespace kv
