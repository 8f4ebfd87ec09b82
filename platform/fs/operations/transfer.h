#pragma once

#include <sys/stat.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs/jobs/treewalk.h"
#include "platform/fs/operations/copyworkers.h"
#include "platform/fs/operations/filecopier.h"
#include "platform/fs/operations/pendingdeletes.h"
#include "platform/fs/operations/transfertarget.h"
#include "platform/fs/operations/transfertargets.h"

namespace kv {

class JobContext;

enum class TransferMode { Copy, Move };

// The copy and move engine that TransferJob and UndoJob run on their thread. What it promises:
// - a move within one filesystem is a rename that never replaces silently;
// - otherwise each file is copied into a file without a name (or, where the filesystem cannot make
//   one, under a temporary name) beside its target, its size verified (and, for a move, flushed to
//   disk with its folder) before it takes its name and before its source is deleted; a failed or
//   cancelled copy leaves nothing behind and keeps its source;
// - small files are copied by a few worker threads at once; every question is asked, and every
//   result recorded, on the job's own thread;
// - nothing that exists is replaced without the resolver's answer, letter case alone counts as a
//   clash, folders merge;
// - a folder is never copied or moved into itself or below itself (symlinks resolved);
// - symlinks are copied as links, permissions and times kept, names kept as raw bytes.
// The pieces: TreeWalk counts and lists, TransferTargets asks about clashes, FileCopier copies one
// file (CopyWorkers run it for small files), PendingDeletes removes a move's sources; this class
// decides what happens to each item.
class Transfer {
  public:
    struct Item {
        std::string source;
        std::string target;  // the full path the item should get
    };

    Transfer(JobContext& ctx, TransferMode mode);
    ~Transfer();

    void run(const std::vector<Item>& items);
    // See TransferTargets::keepReplacedIn.
    void keepReplacedIn(std::string homeTrash) { m_targets.keepReplacedIn(std::move(homeTrash)); }

  private:
    void transferTop(const Item& item, const struct stat* known);
    bool intoItself(const Item& item, const struct stat& st);
    std::optional<dev_t> deviceOf(const std::string& dir);
    bool moveByRename(const std::string& src, const std::string& target, const struct stat& st);
    bool mergeByRename(const std::string& src, const TransferTarget& dest);
    bool copyItem(const std::string& src, const std::string& target, const struct stat& st);
    bool copyDir(const std::string& src, TransferTarget& dest, const struct stat& st);
    enum class DirStart { Created, Merge, Skipped };
    DirStart makeDir(const std::string& src, TransferTarget& dest, const struct stat& st);
    bool settleFile(const std::string& src, TransferTarget& dest, const struct stat& st,
                    FileCopier::Attempt attempt);
    void settleTask(CopyTask& task);
    bool copyOther(const std::string& src, TransferTarget& dest, const struct stat& st);
    // A further name of a file already copied in this job becomes a link to the copy; false when it
    // is not (the first name, a Replace, a target that cannot link).
    bool linkToCopy(const std::string& src, TransferTarget& dest, const struct stat& st);
    void copyFolderAttributes(const std::string& src, const std::string& dest);
    bool place(const std::string& tmp, const std::string& src, const struct stat& st, TransferTarget& dest);
    void finishItem(const std::string& src, const TransferTarget& dest, bool isDir);
    void recordUndo(const std::string& src, const std::string& dest);
    void skipFile(const struct stat& st);

    JobContext& m_ctx;
    TransferMode m_mode;
    bool m_isRoot;
    std::unique_ptr<char[]> m_buffer;  // allocated when a filesystem cannot copy by itself
    TreeWalk m_walk;
    TransferTargets m_targets;
    FileCopier m_copier;
    PendingDeletes m_deletes;
    // Set by each folder copy: false once one of its files, copied by a worker, failed.
    std::shared_ptr<bool> m_batch;
    std::string m_deviceDir;  // the folder deviceOf last asked about, and its answer
    std::optional<dev_t> m_device;
    // Each file with several names whose first name is copied, by the source's (device, inode): where
    // the copy is, and what the file was
    // then. A move may have removed the other source names by the time the last one comes, so the
    // link count alone can't say the file was met; the size and time check the inode was not reused.
    struct CopiedLink {
        std::string path;
        off_t size;
        timespec mtime;
    };
    const CopiedLink* copiedLink(const struct stat& st) const;
    std::map<std::pair<dev_t, ino_t>, CopiedLink> m_copiedLinks;
    CopyWorkers m_workers;  // last: its threads use the members above
};

}  // namespace kv
