#include "platform/fs/remote/jobwatch.h"

#include <algorithm>

#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {
constexpr std::chrono::milliseconds kTick{100};
constexpr std::chrono::milliseconds kCleanupLimit{2000};
}  // namespace

JobWatch::JobWatch(JobContext& ctx, std::chrono::milliseconds limit)
    : m_ctx(ctx),
      m_limit(limit),
      m_cancellable(giofiles::Ref<GCancellable>::adopt(g_cancellable_new())),
      m_thread([this] { run(); }) {}

JobWatch::~JobWatch() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

GCancellable* JobWatch::cancellable() const {
    std::lock_guard lock(m_mutex);
    return m_cancellable.get();
}

void JobWatch::sign() {
    std::lock_guard lock(m_mutex);
    m_lastSign = std::chrono::steady_clock::now();
}

void JobWatch::cleaningUp() {
    std::lock_guard lock(m_mutex);
    if (m_cleaning) return;
    m_cleaning = true;
    m_cancellable = giofiles::Ref<GCancellable>::adopt(g_cancellable_new());
}

JobWatch::Call::Call(JobWatch& watch) : m_watch(watch) {
    std::lock_guard lock(m_watch.m_mutex);
    if (m_watch.m_busy++ == 0) m_watch.m_lastSign = std::chrono::steady_clock::now();
}

JobWatch::Call::~Call() {
    std::lock_guard lock(m_watch.m_mutex);
    --m_watch.m_busy;
}

void JobWatch::run() {
    std::unique_lock lock(m_mutex);
    while (!m_cv.wait_for(lock, kTick, [&] { return m_stop; })) {
        // Cancelling twice is harmless; the calls return with G_IO_ERROR_CANCELLED.
        if (!m_cleaning && m_ctx.isCancelled()) g_cancellable_cancel(m_cancellable.get());
        // Cleaning up after a server that failed is worth a short wait only.
        const auto limit = m_cleaning ? std::min<std::chrono::milliseconds>(m_limit, kCleanupLimit) : m_limit;
        if (m_busy > 0 && std::chrono::steady_clock::now() - m_lastSign > limit) {
            if (!m_cleaning) m_timedOut = true;
            g_cancellable_cancel(m_cancellable.get());
        }
    }
}

}  // namespace kv
