#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

namespace kv {

class SizeCounter;

// The sizes of the folders of one listing the user asked for (Calculate Size), counted off the UI
// thread and kept until the listing is read again or the folder is reported changed.
class FolderSizes : public QObject {
    Q_OBJECT
  public:
    explicit FolderSizes(QObject* parent = nullptr) : QObject(parent) {}

    // Counts the folder at path, shown as name's size; counting it again starts afresh.
    void count(const QByteArray& name, const QByteArray& path);
    void forget(const QByteArray& name);
    void clear();
    bool isEmpty() const { return m_sizes.isEmpty(); }
    // What the Size column shows for the folder: empty when not counted, the running total with an
    // ellipsis while counting.
    QString text(const QByteArray& name) const;
    bool counting() const;

  signals:
    void changed(const QByteArray& name);

  private:
    struct Size {
        quint64 bytes = 0;
        SizeCounter* counter = nullptr;  // while counting
    };
    QHash<QByteArray, Size> m_sizes;
};

}  // namespace kv
