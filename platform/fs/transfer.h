#pragma once

#include <sys/stat.h>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

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
class Transfer {
  public:
    struct Item {
        std::string source;
        std::string target;  // the full path the item should get
    };

    Transfer(JobContext& ctx, TransferMode mode);
    ~Transfer();

    void run(const std::vector<Item>& items);

  private:
    struct Dest;
    struct Attempt;
    struct Task;
    class Workers;

    void countTree(const std::string& path, const struct stat& st, bool sameFs, std::uint64_t& bytes,
                   std::uint64_t& items);
    void transferTop(const Item& item, const struct stat* known);
    std::optional<dev_t> deviceOf(const std::string& dir);
    bool lstatOrAsk(const std::string& path, struct stat& st);
    // firstLook: the first question for this item, before anything was tried; where that is in a
    // folder the job made, the disk need not be asked.
    bool resolveDest(const std::string& src, const struct stat& st, Dest& dest, bool firstLook = false);
    const std::string* caseClash(const std::string& dir, const std::string& name);
    void noteCreated(const std::string& path, bool isDir);
    void noteRemoved(const std::string& path);
    bool moveByRename(const std::string& src, const std::string& target, const struct stat& st);
    bool copyItem(const std::string& src, const std::string& target, const struct stat& st);
    bool copyDir(const std::string& src, Dest& dest, const struct stat& st);
    bool copyFile(const std::string& src, Dest& dest, const struct stat& st);
    bool settleFile(const std::string& src, Dest& dest, const struct stat& st, Attempt attempt);
    Attempt attemptFile(const std::string& src, const std::string& path, bool replace, const struct stat& st,
                        std::unique_ptr<char[]>& buffer);
    void dispatch(Task task);
    void settleFinished();
    void drain();
    void settleAfterCancel();
    bool copyOther(const std::string& src, Dest& dest, const struct stat& st);
    int copyData(int in, int out, const struct stat& st, std::uint64_t& copied,
                 std::unique_ptr<char[]>& buffer);
    bool place(const std::string& tmp, const std::string& src, const struct stat& st, Dest& dest);
    void removeReplaced(const Dest& dest);
    void finishItem(const std::string& src, const Dest& dest, bool isDir);
    void flushDeletes();
    void recordUndo(const std::string& src, const std::string& dest);
    std::string tempNameIn(const std::string& dir);

    JobContext& m_ctx;
    TransferMode m_mode;
    bool m_isRoot;
    std::unique_ptr<char[]> m_buffer;  // allocated when a filesystem cannot copy by itself
    // Folded name -> actual name, per target folder, built the first time a clash is checked there.
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> m_folded;
    std::unordered_set<std::string> m_createdDirs;
    // Sources whose copies are complete; deleted once their target folders are flushed.
    std::vector<std::pair<std::string, std::string>> m_pendingDeletes;  // (target folder, source)
    // Set by each folder copy: false once one of its files, copied by a worker, failed.
    std::shared_ptr<bool> m_batch;
    std::string m_deviceDir;  // the folder deviceOf last asked about, and its answer
    std::optional<dev_t> m_device;
    std::unique_ptr<Workers> m_workers;  // started with the first small file
    std::list<Task> m_finished;          // back from the workers, to be settled here
    // What the filesystems turned out to lack; shared by the workers.
    std::atomic<bool> m_tryClone{true};
    std::atomic<bool> m_tryCopyRange{true};
    std::atomic<bool> m_tryUnnamed{true};
};

}  // namespace kv
