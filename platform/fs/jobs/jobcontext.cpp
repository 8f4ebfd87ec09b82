#include "platform/fs/jobs/jobcontext.h"

#include <cerrno>
#include <utility>

#include "platform/fs/jobs/jobcancelled.h"

namespace kv {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
}

JobContext::JobContext(std::shared_ptr<FsOps> ops, std::shared_ptr<JobResolver> resolver,
                       ProgressFn onProgress, FinishedFn onFinished)
    : m_ops(std::move(ops)),
      m_resolver(std::move(resolver)),
      m_onProgress(std::move(onProgress)),
      m_onFinished(std::move(onFinished)) {}

void JobContext::checkpoint() {
    std::unique_lock lock(m_mutex);
    if (m_paused) {
        m_progress.paused = true;
        lock.unlock();
        emitProgress(true);
        lock.lock();
        m_cv.wait(lock, [&] { return !m_paused || m_cancelled; });
        m_progress.paused = false;
    }
    if (m_cancelled) {
        throw JobCancelled{};
    }
}

void JobContext::setTotals(std::uint64_t bytes, std::uint64_t items) {
    {
        std::lock_guard lock(m_mutex);
        m_progress.bytesTotal = bytes;
        m_progress.itemsTotal = items;
        m_progress.totalsKnown = true;
    }
    emitProgress(true);
}

void JobContext::setCurrent(const std::string& path) {
    {
        std::lock_guard lock(m_mutex);
        m_progress.current = path;
    }
    emitProgress(false);
}

void JobContext::addBytes(std::int64_t bytes) {
    {
        std::lock_guard lock(m_mutex);
        if (bytes < 0 && static_cast<std::uint64_t>(-bytes) > m_progress.bytesDone) {
            m_progress.bytesDone = 0;
        } else {
            m_progress.bytesDone += static_cast<std::uint64_t>(bytes);
        }
    }
    emitProgress(false);
}

void JobContext::addItems(std::uint64_t items) {
    {
        std::lock_guard lock(m_mutex);
        m_progress.itemsDone += items;
    }
    emitProgress(false);
}

void JobContext::emitProgress(bool force) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard emit(m_emitMutex);
    if (!force && now - m_lastEmit < kProgressInterval) {
        return;
    }
    m_lastEmit = now;
    m_onProgress.call(progress());
}

template <typename Decision>
std::optional<Decision> JobContext::waitAnswer(std::optional<Decision>& slot) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return slot.has_value() || m_cancelled; });
    if (m_cancelled) {
        return std::nullopt;
    }
    return slot;
}

ClashDecision JobContext::askClash(const ClashRequest& request) {
    checkpoint();
    ClashDecision d;
    if (m_clashForAll) {
        d = *m_clashForAll;
    } else if (!m_resolver) {
        d = {ClashChoice::Skip, false};
    } else {
        std::uint64_t id;
        {
            std::lock_guard lock(m_mutex);
            id = ++m_question;
            m_clashAnswer.reset();
        }
        std::weak_ptr<JobContext> weak = shared_from_this();
        m_resolver->resolveClash(request, [weak, id](ClashDecision answer) {
            if (auto self = weak.lock()) {
                std::lock_guard lock(self->m_mutex);
                if (self->m_question == id && !self->m_clashAnswer) {
                    self->m_clashAnswer = answer;
                    self->m_cv.notify_all();
                }
            }
        });
        auto answer = waitAnswer(m_clashAnswer);
        if (!answer) {
            throw JobCancelled{};
        }
        d = *answer;
        if (d.applyToAll && d.choice != ClashChoice::Cancel) {
            m_clashForAll = d;
        }
    }
    if (d.choice == ClashChoice::Cancel) {
        cancel();
        throw JobCancelled{};
    }
    if (d.choice == ClashChoice::Replace && !request.canReplace) {
        d.choice = ClashChoice::Skip;
    }
    return d;
}

ErrorChoice JobContext::askError(const ErrorRequest& request) {
    checkpoint();
    ErrorDecision d{ErrorChoice::Skip, false};
    const bool asking = !m_skipAllErrors && m_resolver;
    if (asking) {
        std::uint64_t id;
        {
            std::lock_guard lock(m_mutex);
            id = ++m_question;
            m_errorAnswer.reset();
        }
        std::weak_ptr<JobContext> weak = shared_from_this();
        m_resolver->resolveError(request, [weak, id](ErrorDecision answer) {
            if (auto self = weak.lock()) {
                std::lock_guard lock(self->m_mutex);
                if (self->m_question == id && !self->m_errorAnswer) {
                    self->m_errorAnswer = answer;
                    self->m_cv.notify_all();
                }
            }
        });
        auto answer = waitAnswer(m_errorAnswer);
        if (!answer) {
            throw JobCancelled{};
        }
        d = *answer;
    }
    if (d.choice == ErrorChoice::Cancel) {
        cancel();
        std::lock_guard lock(m_mutex);
        m_result.answered.push_back(m_result.reports.size());
        m_result.reports.push_back(request.report);
        throw JobCancelled{};
    }
    if (d.choice == ErrorChoice::Retry && request.canRetry) {
        return ErrorChoice::Retry;
    }
    if (d.applyToAll) {
        m_skipAllErrors = true;
    }
    std::lock_guard lock(m_mutex);
    ++m_result.skipped;
    if (asking) m_result.answered.push_back(m_result.reports.size());
    m_result.reports.push_back(request.report);
    return ErrorChoice::Skip;
}

void JobContext::noteSkipped() {
    std::lock_guard lock(m_mutex);
    ++m_result.skipped;
}

void JobContext::noteSkipped(JobReport report) {
    std::lock_guard lock(m_mutex);
    ++m_result.skipped;
    m_result.reports.push_back(std::move(report));
}

void JobContext::noteAttributesLost(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (std::exchange(m_attributesLost, true)) {
        return;
    }
    m_result.reports.push_back({JobAction::Copy, path, ENOTSUP, JobProblem::AttributesLost});
}

void JobContext::finish(bool cancelled) {
    JobResult snapshot;
    {
        std::lock_guard lock(m_mutex);
        m_result.cancelled = cancelled;
        m_result.undo = m_undo;
        snapshot = m_result;
    }
    emitProgress(true);
    m_onFinished.call(snapshot);
    detach();
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_cv.notify_all();
}

void JobContext::cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_cv.notify_all();
}

void JobContext::setPaused(bool paused) {
    std::lock_guard lock(m_mutex);
    m_paused = paused;
    m_cv.notify_all();
}

bool JobContext::isFinished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

void JobContext::wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_finished; });
}

bool JobContext::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, limit, [&] { return m_finished; });
}

JobProgress JobContext::progress() const {
    std::lock_guard lock(m_mutex);
    return m_progress;
}

JobResult JobContext::result() const {
    std::lock_guard lock(m_mutex);
    return m_result;
}

void JobContext::detach() {
    m_onProgress.detach();
    m_onFinished.detach();
}

}  // namespace kv
