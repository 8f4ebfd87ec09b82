#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <optional>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;
class QPushButton;

namespace kv {

class SizeCounter;

// The properties of one or more items: name, type, location, size and, for folders, what they hold
// (added up in the background, the figures growing while it counts), modified, permissions and owner.
// The owner (or root) can change an item's read, write and execute bits here. Never modal.
class PropertiesDialog : public QDialog {
    Q_OBJECT
  public:
    // What the dialog shows of the items, read from the filesystem.
    struct Facts {
        QList<QByteArray> paths;
        std::vector<struct stat> stats;        // of the items that could be read
        std::optional<QByteArray> linkTarget;  // one link alone: where it leads
    };
    static Facts gather(const QList<QByteArray>& paths);
    // Reads the facts off the UI thread, then shows the dialog over parent.
    static void showFor(const QList<QByteArray>& paths, QWidget* parent);

    // Reads the items here and now (tests).
    explicit PropertiesDialog(const QList<QByteArray>& paths, QWidget* parent = nullptr);
    PropertiesDialog(const Facts& facts, QWidget* parent);

    // The type letter and the bits: "-rwxr-x--- (750)", "drwxrwxrwt (1777)".
    static QString permissionsText(unsigned mode);
    // "12 files, 3 folders"
    static QString countText(quint64 files, quint64 folders);
    QString sizeText() const;
    QString fieldText(const char* field) const;
    bool isCounting() const;

  signals:
    void permissionsApplied();

  private:
    struct Bit {
        QCheckBox* box;
        unsigned bit;
    };
    QLabel* addRow(const char* field, const QString& label, const QString& value);
    void addPermissionEditor(const QByteArray& path, unsigned mode);
    unsigned chosenMode() const;
    void applyPermissions();

    QFormLayout* m_form;
    QLabel* m_size = nullptr;
    bool m_counting = false;
    SizeCounter* m_counter;
    std::vector<Bit> m_bits;
    QPushButton* m_apply = nullptr;
    QByteArray m_path;
    unsigned m_mode = 0;
};

}  // namespace kv
