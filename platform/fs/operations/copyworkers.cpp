#include "platform/fs/operations/copyworkers.h"

#include <algorithm>
#include <cerrno>

#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {
constexpr size_t kQueuedPerWorker = 8;
}

CopyWorkers::~CopyWorkers() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_cv.notify_all();
    for (std::thread& t : m_threads) {
        t.join();
    }
}

void CopyWorkers::start() {
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    for (unsigned i = 0; i < count; ++i) {
        m_threads.emplace_back([this] { loop(); });
    }
}

void CopyWorkers::submit(CopyTask task, const Settle& settle) {
    if (m_threads.empty()) {
        start();
    }
    const size_t cap = m_threads.size() * kQueuedPerWorker;
    bool wake;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(task));
        ++m_inFlight;
        wake = m_idle > 0;
    }
    if (wake) {
        m_cv.notify_one();
    }
    takeDone(inFlight() >= cap ? cap / 2 : 0);
    settleFinished(settle);
}

void CopyWorkers::drain(const Settle& settle) {
    settleFinished(settle);
    while (inFlight() > 0) {
        takeDone(inFlight());
        settleFinished(settle);
    }
}

void CopyWorkers::collect(const Settle& each) {
    for (;;) {
        for (CopyTask& task : m_finished) {
            each(task);
        }
        m_finished.clear();
        if (inFlight() == 0) {
            return;
        }
        takeDone(inFlight());
    }
}

void CopyWorkers::settleFinished(const Settle& settle) {
    // One at a time off the front: when settling throws (a cancel), the rest stay for collect().
    while (!m_finished.empty()) {
        CopyTask task = std::move(m_finished.front());
        m_finished.pop_front();
        settle(task);
    }
}

size_t CopyWorkers::inFlight() {
    std::lock_guard lock(m_mutex);
    return m_inFlight;
}

void CopyWorkers::takeDone(size_t want) {
    std::unique_lock lock(m_mutex);
    m_want = std::min(want, m_inFlight);
    m_doneCv.wait(lock, [&] { return m_done.size() >= m_want; });
    m_want = kNobodyWaits;
    m_inFlight -= m_done.size();
    for (CopyTask& t : m_done) {
        m_finished.push_back(std::move(t));
    }
    m_done.clear();
}

void CopyWorkers::loop() {
    std::unique_ptr<char[]> buffer;
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_cv.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        --m_idle;
        if (m_stop) {
            return;
        }
        CopyTask t = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        try {
            m_ctx.checkpoint();  // waits while paused
            t.attempt = m_copier.copy(t.src, t.dest.path, false, t.st, buffer);
        } catch (const JobCancelled&) {
            t.attempt.outcome = FileCopier::Attempt::Outcome::Cancelled;
        } catch (const std::exception& e) {
            t.attempt = {FileCopier::Attempt::Outcome::Failed,
                         {JobAction::Copy, t.src, EIO, JobProblem::Internal, e.what()}};
        }
        lock.lock();
        m_done.push_back(std::move(t));
        if (m_done.size() >= m_want) {
            m_doneCv.notify_one();
        }
    }
}

}  // namespace kv
