#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kv {

// What a download engine tells a DownloadJob, and what the job asks of the engine, between two threads:
// the engine (the web view's, on the UI thread) writes the bytes and reports how far it got and how it
// ended; the job, on its own thread, waits for that and sends pause, resume and cancel back through the
// control function, which must only post (it is called on the job's thread).
class DownloadFeed {
  public:
    enum class State { Running, Completed, Failed, Cancelled };
    enum class Command { Pause, Resume, Cancel };
    struct Snapshot {
        std::uint64_t received = 0;
        std::int64_t total = -1;  // -1 while the size is unknown
        State state = State::Running;
        std::string error;  // why it failed, in the engine's words
    };
    using Control = std::function<void(Command)>;

    explicit DownloadFeed(Control control) : m_control(std::move(control)) {}

    // --- the engine's side, any thread ---
    void progressed(std::uint64_t received, std::int64_t total);
    // Once; later calls are ignored.
    void ended(State state, std::string error = {});

    // --- the job's side ---
    // Waits at most limit for news newer than `seen` (a count of changes, updated), and returns the
    // state then.
    Snapshot wait(std::uint64_t& seen, std::chrono::milliseconds limit);
    Snapshot snapshot() const;
    // Sends a command unless the download has ended (a cancel after the end would be news to nobody).
    void send(Command command);

  private:
    Control m_control;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    Snapshot m_now;
    std::uint64_t m_changes = 0;
};

}  // namespace kv
