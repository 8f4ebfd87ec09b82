#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/fs/operations/transfer.h"
#include "platform/fs/remote/remotecalls.h"

namespace kv {

// The copy and move engine of RemoteTransferJob and RemoteUndoJob, between local folders and servers
// through GIO. Each file is written under a hidden temporary name beside its target, its size checked,
// then given its name without replacing anything the resolver did not let it replace; a failed or
// cancelled file leaves no temporary behind (as far as the server still answers). A move on one server
// is the server's own rename; otherwise a copy whose source is deleted once its copy is whole.
class RemoteTransfer {
  public:
    RemoteTransfer(RemoteCalls& calls, TransferMode mode);
    void run(const std::vector<Transfer::Item>& items);

  private:
    struct Count {
        std::uint64_t bytes = 0, items = 0;
    };
    struct Target {
        std::string path;
        bool replace = false;  // a file the resolver let this one replace
        bool merge = false;    // an existing folder the source folder merges into
    };

    Count count(const std::string& path, const RemoteItem& item);
    // True when the item went (or is no more to do); false when it was skipped or failed.
    bool transfer(const std::string& src, const RemoteItem& item, Target target);
    bool resolve(const std::string& src, const RemoteItem& item, Target& target);
    enum class Native { Done, Clash, Fallback, Failed };
    void replaced(const Target& target);
    Native moveNatively(const std::string& src, const RemoteItem& item, const Target& target);
    bool copyDir(const std::string& src, const RemoteItem& item, Target target);
    bool copyFile(const std::string& src, const RemoteItem& item, Target target);
    bool removeSource(const std::string& src, const RemoteItem& item);
    void skip(const std::string& src, const RemoteItem& item);
    void done(const std::string& src, const std::string& target);

    static void progressed(goffset current, goffset total, gpointer self);

    RemoteCalls& m_calls;
    JobContext& m_ctx;
    TransferMode m_mode;
    std::map<std::string, Count> m_dirCounts;  // each source folder's contents, as counted
    // Each source folder's entries as counted, until its copy takes them.
    std::map<std::string, std::vector<RemoteItem>> m_listed;
    std::set<std::string> m_createdDirs;       // the folders this job made
    std::atomic<std::int64_t> m_fileBytes{0};  // the current file's bytes counted in the progress
};

}  // namespace kv
