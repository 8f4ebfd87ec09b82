#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/fs/core/callbackslot.h"
#include "platform/fs/core/fsops.h"
#include "platform/fs/jobs/jobprogress.h"
#include "platform/fs/jobs/jobresolver.h"
#include "platform/fs/jobs/jobresult.h"

namespace kv {

// The state one running job shares between its thread and the FileJob handle: control flags,
// progress, the pending question, the callbacks. The job's body talks to it; the handle controls it.
// Outlives the handle when a job is abandoned, which is why it, not the handle, is what the thread
// holds.
class JobContext : public std::enable_shared_from_this<JobContext> {
  public:
    using ProgressFn = std::function<void(const JobProgress&)>;
    using FinishedFn = std::function<void(const JobResult&)>;

    JobContext(std::shared_ptr<FsOps> ops, std::shared_ptr<JobResolver> resolver, ProgressFn onProgress,
               FinishedFn onFinished);

    // --- for the job body, on the job thread ---
    FsOps& ops() { return *m_ops; }
    // Waits while paused; throws JobCancelled once cancelled. Called between chunks and items.
    void checkpoint();
    void setTotals(std::uint64_t bytes, std::uint64_t items);
    void setCurrent(const std::string& path);
    void addBytes(std::int64_t bytes);  // negative when a failed file's bytes are taken back
    void addItems(std::uint64_t items);
    // Never returns Cancel (throws JobCancelled instead). Without a resolver a clash is skipped.
    ClashDecision askClash(const ClashRequest& request);
    // Returns Retry or Skip; Skip records the report. Without a resolver every error is skipped.
    ErrorChoice askError(const ErrorRequest& request);
    // An item left out: after a Skip answer to a clash (nothing to report), or for the reason given.
    void noteSkipped();
    void noteSkipped(JobReport report);
    // An item was copied without some of its extended attributes: said once per job, for the first.
    void noteAttributesLost(const std::string& path);
    UndoInfo& undo() { return m_undo; }
    void finish(bool cancelled);

    // --- for the handle, any thread ---
    void cancel();
    void setPaused(bool paused);
    bool isCancelled() const { return m_cancelled; }
    // A job whose work goes on elsewhere (a download the web engine writes) passes a pause on.
    bool isPaused() const {
        std::lock_guard lock(m_mutex);
        return m_paused;
    }
    bool isFinished() const;
    void wait();
    // False when the job has not finished within the time.
    bool waitFor(std::chrono::milliseconds limit);
    JobProgress progress() const;
    JobResult result() const;
    // The handle is gone: no callback may run from now on (waits only for one already running).
    void detach();

  private:
    void emitProgress(bool force);
    template <typename Decision>
    std::optional<Decision> waitAnswer(std::optional<Decision>& slot);

    std::shared_ptr<FsOps> m_ops;
    std::shared_ptr<JobResolver> m_resolver;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::atomic<bool> m_cancelled{false};
    bool m_paused = false;
    bool m_finished = false;
    JobProgress m_progress;
    JobResult m_result;
    std::uint64_t m_question = 0;  // numbers the questions so a late reply cannot answer a newer one
    std::optional<ClashDecision> m_clashAnswer;
    std::optional<ErrorDecision> m_errorAnswer;

    // Called while the handle wants them; detach() stops them and waits for one running.
    CallbackSlot<const JobProgress&> m_onProgress;
    CallbackSlot<const JobResult&> m_onFinished;
    // Progress comes from the workers too: one emits at a time, so none overtakes a newer snapshot.
    std::mutex m_emitMutex;
    std::chrono::steady_clock::time_point m_lastEmit{};

    // Job thread only.
    std::optional<ClashDecision> m_clashForAll;
    bool m_skipAllErrors = false;
    bool m_attributesLost = false;  // guarded by m_mutex
    UndoInfo m_undo;
};

}  // namespace kv
