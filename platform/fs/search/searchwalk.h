#pragma once

#include <sys/types.h>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs/listing/direntry.h"
#include "platform/fs/listing/namematcher.h"
#include "platform/fs/search/searchquery.h"
#include "platform/fs/search/searchstats.h"

namespace kv {

// The walk behind a search: a few threads take folders from a shared stack, list each with getdents64
// and stat only the names that match (plus one fstat per folder, for its filesystem and identity), so
// a name search reads little more than `find` does. Symbolic links are never followed into folders,
// a folder met twice (a bind mount) is walked once, mount points are entered only when the query says
// so, and unreadable folders are counted in the stats with their paths.
//
// Results are DirEntry rows whose name is the path relative to the start ("docs/a.txt"), which keeps
// them distinct; their sort key is made from the base name. Threads are detached: cancel() only asks
// them to stop (they notice between entries) and returns at once; the walk lives as long as they do.
class SearchWalk : public std::enable_shared_from_this<SearchWalk> {
  public:
    // Any walker thread, one call at a time; false stops the walk.
    using EmitFn = std::function<bool(std::vector<DirEntry>&& batch)>;
    // Once, from the last walker to end, unless cancelled: 0, or the errno of the start folder.
    using DoneFn = std::function<void(int error, const std::string& message)>;

    // Empty when the query can run, else what is wrong with it (a regex that does not compile).
    static std::string check(const SearchQuery& query);
    // What the query's name part matches, as the walk reads it.
    static NameMatcher nameMatcher(const SearchQuery& query);

    static std::shared_ptr<SearchWalk> start(std::string root, SearchQuery query,
                                             std::shared_ptr<SearchStats> stats, EmitFn onBatch, DoneFn done,
                                             int threads = 3);
    // The whole walk on the caller's thread's behalf (it waits): for benchmarks, tools and tests.
    static int runNow(const std::string& root, const SearchQuery& query, std::vector<DirEntry>& out,
                      std::shared_ptr<SearchStats> stats = {}, int threads = 3);
    // Looks at one result again (relPath relative to root): true, with e filled, when it exists and
    // still matches the query.
    static bool test(const std::string& root, const SearchQuery& query, const std::string& relPath,
                     DirEntry& e);

    void cancel();

    struct Private;
    SearchWalk(std::string root, SearchQuery query, std::shared_ptr<SearchStats> stats, EmitFn onBatch,
               DoneFn done);
    ~SearchWalk();

  private:
    void work();
    void listFolder(const std::string& rel, Private& p, std::vector<DirEntry>& batch,
                    std::vector<std::string>& subfolders);
    bool flush(std::vector<DirEntry>& batch);

    const std::string m_root;
    const SearchQuery m_query;
    const std::shared_ptr<SearchStats> m_stats;
    EmitFn m_emit;
    DoneFn m_done;
    std::mutex m_emitMutex;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::string> m_stack;  // folders to list, relative to the root ("" is the root)
    int m_busy = 0;
    int m_live = 0;
    bool m_cancelled = false;
    std::atomic<bool> m_stop{false};  // m_cancelled, readable without the lock between entries
    dev_t m_rootDev = 0;
    int m_rootError = 0;
    std::set<std::pair<dev_t, ino_t>> m_visited;
};

}  // namespace kv
