#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

namespace kv {

// The folders the views of one program showed in this run, most recent first, each once. One list,
// which every view of a program shares (PaneServices).
class RecentFolders : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMax = 10;

    explicit RecentFolders(QObject* parent = nullptr) : QObject(parent) {}

    void visited(const QByteArray& folder);
    const QList<QByteArray>& folders() const { return m_folders; }

  private:
    QList<QByteArray> m_folders;
};

}  // namespace kv
