#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kv {

// How far a search has come, written by its walkers and read from any thread (the status line polls
// it): folders listed, results found and the folders that could not be read (their paths are kept,
// relative to the start, so the user can ask which they were).
class SearchStats {
  public:
    std::atomic<std::uint64_t> folders{0};
    std::atomic<std::uint64_t> found{0};
    std::atomic<std::uint64_t> unreadable{0};
    std::atomic<bool> finished{false};

    void addUnreadable(std::string path) {
        std::lock_guard lock(m_mutex);
        m_unreadablePaths.push_back(std::move(path));
        ++unreadable;
    }
    std::vector<std::string> unreadablePaths() const {
        std::lock_guard lock(m_mutex);
        return m_unreadablePaths;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_unreadablePaths;
};

}  // namespace kv
