#pragma once

#include <QByteArray>
#include <QObject>
#include <memory>

#include "platform/fs/listing/dirchange.h"

namespace kv {

class DirWatcher;

// The folders on show, watched for changes with one inotify instance for all panes of the program.
// The front end owns one and hands it to its views (PaneServices); it outlives them.
class FolderWatch : public QObject {
    Q_OBJECT
  public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Counted like DirWatcher: every watch() is matched by one unwatch().
    void watch(const QByteArray& dir);
    void unwatch(const QByteArray& dir);
    // Whether dir's watch is in place, so that its changes are reported (see DirWatcher).
    bool isWatching(const QByteArray& dir) const;

  signals:
    // On the UI thread, for any folder watched.
    void folderChanged(const kv::DirChange& change);

  private:
    std::unique_ptr<DirWatcher> m_watcher;  // made on the first watch()
};

}  // namespace kv
