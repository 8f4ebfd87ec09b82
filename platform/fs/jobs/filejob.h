#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/fs/core/fsops.h"
#include "platform/fs/jobs/jobprogress.h"
#include "platform/fs/jobs/jobresolver.h"
#include "platform/fs/jobs/jobresult.h"

namespace kv {

class JobContext;

// A file operation run on a thread of its own. Set the resolver and callbacks, then start().
// Callbacks run on the job thread (post them to the UI); after the handle is destroyed none runs.
// Destroying a running job cancels it without waiting: the thread cleans up (removes a partial file)
// and ends on its own. Nothing here blocks the caller except wait(), which is for tests and tools.
class FileJob {
  public:
    using ProgressFn = std::function<void(const JobProgress&)>;
    using FinishedFn = std::function<void(const JobResult&)>;

    virtual ~FileJob();
    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;

    void setResolver(std::shared_ptr<JobResolver> resolver) { m_resolver = std::move(resolver); }
    void setOps(std::shared_ptr<FsOps> ops) { m_ops = std::move(ops); }  // tests inject faults here
    void onProgress(ProgressFn fn) { m_onProgress = std::move(fn); }
    void onFinished(FinishedFn fn) { m_onFinished = std::move(fn); }

    void start();  // once
    void cancel();
    void pause();
    void resume();

    bool isFinished() const;
    void wait();
    // Waits at most limit; false when the job still runs (blocked in a call on a dead mount, say).
    bool waitFor(std::chrono::milliseconds limit);
    JobProgress progress() const;
    // Complete once finished (also passed to the finished callback); includes the undo information.
    JobResult result() const;

  protected:
    using Body = std::function<void(JobContext&)>;
    // The body runs on the job thread and may only use what it captured by value and the context:
    // the handle can be gone while it runs.
    explicit FileJob(Body body);

  private:
    Body m_body;
    std::shared_ptr<FsOps> m_ops;
    std::shared_ptr<JobResolver> m_resolver;
    ProgressFn m_onProgress;
    FinishedFn m_onFinished;
    std::shared_ptr<JobContext> m_context;
};

}  // namespace kv
