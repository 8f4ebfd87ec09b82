#pragma once

#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/fs/remote/giofiles.h"

namespace kv {

class JobContext;

// Keeps one remote job's GIO calls in check from a thread of its own: cancels the calls' GCancellable
// when the job is cancelled, and when a call has waited for the server longer than the limit with no
// sign of life (no bytes moved), which then counts as timed out. The job's thread marks each call
// (Call) and each sign (sign()).
class JobWatch {
  public:
    static constexpr std::chrono::milliseconds kLimit{10000};

    explicit JobWatch(JobContext& ctx, std::chrono::milliseconds limit = kLimit);
    ~JobWatch();
    JobWatch(const JobWatch&) = delete;
    JobWatch& operator=(const JobWatch&) = delete;

    // For the calls; the same one until cleaningUp().
    GCancellable* cancellable() const;
    // The server answered (bytes moved): the limit counts afresh.
    void sign();
    // True once a call was cut off for waiting too long.
    bool timedOut() const { return m_timedOut; }
    // The job was cancelled or its server stopped answering: the calls that clean up after it (a
    // temporary file removed) get a fresh cancellable that only a shorter limit (2 s) cuts off.
    void cleaningUp();

    // A call that waits for the server, from its start to its end.
    class Call {
      public:
        explicit Call(JobWatch& watch);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

      private:
        JobWatch& m_watch;
    };

  private:
    void run();

    JobContext& m_ctx;
    const std::chrono::milliseconds m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    giofiles::Ref<GCancellable> m_cancellable;
    bool m_stop = false;
    bool m_cleaning = false;
    int m_busy = 0;
    std::chrono::steady_clock::time_point m_lastSign;
    std::atomic<bool> m_timedOut{false};
    std::thread m_thread;  // last: runs on the members above
};

}  // namespace kv
