#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fs/operations/copytask.h"
#include "platform/fs/operations/filecopier.h"

namespace kv {

class JobContext;

// A few threads that copy small files for the job thread: for them the cost is in the system calls
// around the data, which threads overlap. They never ask and never record: each finished task goes
// back to the job thread, which settles it (asks, records) as it would its own try. The threads
// start with the first task.
class CopyWorkers {
  public:
    using Settle = std::function<void(CopyTask&)>;

    CopyWorkers(JobContext& ctx, FileCopier& copier) : m_ctx(ctx), m_copier(copier) {}
    ~CopyWorkers();
    CopyWorkers(const CopyWorkers&) = delete;
    CopyWorkers& operator=(const CopyWorkers&) = delete;

    // Queues task, then settles what is finished; once the queue is full, waits for half of it
    // first. Taking tasks back in batches keeps the threads from waking each other for every file.
    void submit(CopyTask task, const Settle& settle);
    // Settles every task in flight.
    void drain(const Settle& settle);
    // After a cancel: hands every task back, waiting for those in flight, to see what was placed.
    void collect(const Settle& each);

  private:
    void start();
    void loop();
    size_t inFlight();
    // Waits until `want` tasks (or all in flight, if fewer) are finished and moves them to m_finished.
    void takeDone(size_t want);
    void settleFinished(const Settle& settle);

    JobContext& m_ctx;
    FileCopier& m_copier;
    std::mutex m_mutex;
    std::condition_variable m_cv, m_doneCv;
    std::deque<CopyTask> m_queue, m_done;
    static constexpr size_t kNobodyWaits = SIZE_MAX;
    bool m_stop = false;
    size_t m_inFlight = 0;
    size_t m_idle = 0;
    size_t m_want = kNobodyWaits;
    std::vector<std::thread> m_threads;
    std::list<CopyTask> m_finished;  // job thread only: back from the workers, to be settled
};

}  // namespace kv
