#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kv {

class JobContext;

// The sources of a move whose copies are complete. A source is deleted only once the folder its copy
// went to is flushed to disk, so a crash can lose neither; folders are flushed once per batch.
class PendingDeletes {
  public:
    explicit PendingDeletes(JobContext& ctx) : m_ctx(ctx) {}

    // Flushes (and deletes) by itself once enough have gathered.
    void add(std::string targetDir, std::string source);
    void flush();

  private:
    JobContext& m_ctx;
    std::vector<std::pair<std::string, std::string>> m_pending;  // (target folder, source)
};

}  // namespace kv
