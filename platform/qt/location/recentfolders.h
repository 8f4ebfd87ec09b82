#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

namespace kv {

// The folders the views of one program showed in this run, most recent first, each once. One list
// per file operations object, which every view of a program shares (see of()).
class RecentFolders : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMax = 10;

    // The list kept beside the given object (made on first use, owned by it).
    static RecentFolders& of(QObject& owner);

    void visited(const QByteArray& folder);
    const QList<QByteArray>& folders() const { return m_folders; }

  private:
    using QObject::QObject;
    QList<QByteArray> m_folders;
};

}  // namespace kv
