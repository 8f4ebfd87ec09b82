#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>

class QFormLayout;
class QLabel;

namespace kv {

class SizeCounter;

// The properties of one or more items: name, type, location, size (a folder's is added up in the
// background and the figure grows while it counts), modified, permissions and owner. Never modal.
class PropertiesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PropertiesDialog(const QList<QByteArray>& paths, QWidget* parent = nullptr);

    // "rwxr-x--- (750)"
    static QString permissionsText(unsigned mode);
    QString sizeText() const;
    QString fieldText(const char* field) const;
    bool isCounting() const;

  private:
    QLabel* addRow(const char* field, const QString& label, const QString& value);

    QFormLayout* m_form;
    QLabel* m_size = nullptr;
    bool m_counting = false;
    SizeCounter* m_counter;
};

}  // namespace kv
