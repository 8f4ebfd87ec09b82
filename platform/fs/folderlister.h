#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/direntry.h"

namespace kv {

// Lists one folder on a thread of its own and streams the entries in batches: a small first batch so
// the first rows show within a frame, then larger ones. Each entry is stat'ed (type, mode, size,
// mtime; a symlink also through its target) and gets its sort key on that thread.
//
// Callbacks run on the lister thread and should only hand the data over (post it to the UI thread).
// After cancel() or the destructor returns no callback starts any more. Neither ever waits for the
// filesystem: a listing stuck on a hung mount is abandoned, its thread finishes on its own later.
class FolderLister {
  public:
    using BatchFn = std::function<void(std::vector<DirEntry>&& batch)>;
    // error is 0 on success, else the errno of the failure; message is its text ("Permission denied").
    using DoneFn = std::function<void(int error, const std::string& message)>;

    FolderLister();
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // Starts listing path (raw bytes); a listing still running is cancelled first.
    void start(const std::string& path, BatchFn onBatch, DoneFn onDone);
    void cancel();

    // The same listing done on the caller's thread, all at once (benchmarks, tools, tests).
    // Returns 0 or an errno.
    static int listNow(const std::string& path, std::vector<DirEntry>& out);

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace kv
