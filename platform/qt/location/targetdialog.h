#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv {

// Asks where to copy or move items, the target folder's path given and editable (the commander's F5
// and F6): the path completes folder by folder as it is typed, Enter starts. Accepted only with a
// folder that exists; target() is its path (raw bytes).
class TargetDialog : public QDialog {
    Q_OBJECT
  public:
    TargetDialog(const QString& question, const QString& action, const QByteArray& target,
                 QWidget* parent = nullptr);

    QByteArray target() const { return m_target; }
    QLineEdit* editor() const { return m_editor; }

    void accept() override;

  private:
    QLineEdit* m_editor;
    QLabel* m_problem;
    QPushButton* m_start;
    QByteArray m_target;
};

}  // namespace kv
