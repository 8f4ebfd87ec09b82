#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/fs/listing/dirchange.h"

namespace kv {

// Watches the folders being shown, each by itself and not its subfolders (nine panes stay nine
// inotify watches), and turns bursts into few notifications: a change is reported once the folder
// has been quiet for `quiet`, and at the latest `maxDelay` after the burst began, so 10,000 files
// landing at once become a handful of callbacks, not 10,000.
//
// The callback runs on the watcher's thread; it should post the change to the UI thread. Adding a
// watch resolves the path, which a hung mount can stall, so that too happens on the watcher thread;
// no method ever waits for the filesystem, the destructor included.
class DirWatcher {
  public:
    using ChangeFn = std::function<void(const DirChange&)>;

    explicit DirWatcher(ChangeFn onChange, std::chrono::milliseconds quiet = std::chrono::milliseconds(100),
                        std::chrono::milliseconds maxDelay = std::chrono::milliseconds(500));
    ~DirWatcher();
    DirWatcher(const DirWatcher&) = delete;
    DirWatcher& operator=(const DirWatcher&) = delete;

    // Counted: two panes on one folder call watch() twice and unwatch() twice.
    void watch(const std::string& path);
    void unwatch(const std::string& path);
    // Whether the watch of path is in place: watch() adds it later, on the watcher's thread, and only
    // changes after that are reported. Tests wait for this rather than for a guessed moment.
    bool isWatching(const std::string& path) const;

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace kv
