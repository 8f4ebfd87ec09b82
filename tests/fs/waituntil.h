#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kv::test {

// Polls `done` until it holds; false when it still does not after `limit` (reached only on failure).
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace kv::test
