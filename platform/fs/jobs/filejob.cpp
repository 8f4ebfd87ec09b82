#include "platform/fs/jobs/filejob.h"

#include <thread>

#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

FileJob::FileJob(Body body) : m_body(std::move(body)), m_ops(std::make_shared<FsOps>()) {}

FileJob::~FileJob() {
    if (m_context) {
        m_context->detach();
        m_context->cancel();
    }
}

void FileJob::start() {
    if (m_context) {
        return;
    }
    m_context =
        std::make_shared<JobContext>(m_ops, m_resolver, std::move(m_onProgress), std::move(m_onFinished));
    std::thread([ctx = m_context, body = std::move(m_body)] {
        bool cancelled = false;
        try {
            body(*ctx);
        } catch (const JobCancelled&) {
            cancelled = true;
        } catch (const std::exception& e) {
            ctx->noteSkipped({JobAction::Run, {}, 0, JobProblem::Internal, e.what()});
        }
        ctx->finish(cancelled || ctx->isCancelled());
    }).detach();
}

void FileJob::cancel() {
    if (m_context) {
        m_context->cancel();
    }
}

void FileJob::pause() {
    if (m_context) {
        m_context->setPaused(true);
    }
}

void FileJob::resume() {
    if (m_context) {
        m_context->setPaused(false);
    }
}

bool FileJob::isFinished() const {
    return m_context && m_context->isFinished();
}

void FileJob::wait() {
    if (m_context) {
        m_context->wait();
    }
}

bool FileJob::waitFor(std::chrono::milliseconds limit) {
    return !m_context || m_context->waitFor(limit);
}

JobProgress FileJob::progress() const {
    return m_context ? m_context->progress() : JobProgress{};
}

JobResult FileJob::result() const {
    return m_context ? m_context->result() : JobResult{};
}

}  // namespace kv
