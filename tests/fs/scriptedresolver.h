#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fs/jobs/jobresolver.h"

namespace kv::test {

// A resolver whose answers the test scripts. With async set it answers from another thread after a
// short delay, as a UI prompt would.
class ScriptedResolver : public JobResolver {
  public:
    std::function<ClashDecision(const ClashRequest&)> onClash = [](const ClashRequest&) {
        return ClashDecision{ClashChoice::Skip, false};
    };
    std::function<ErrorDecision(const ErrorRequest&)> onError = [](const ErrorRequest&) {
        return ErrorDecision{ErrorChoice::Skip, false};
    };
    bool async = false;

    void resolveClash(const ClashRequest& request, ClashReply reply) override {
        {
            std::lock_guard lock(m_mutex);
            clashes.push_back(request);
        }
        const ClashDecision d = onClash(request);
        answer([reply, d] { reply(d); });
    }
    void resolveError(const ErrorRequest& request, ErrorReply reply) override {
        {
            std::lock_guard lock(m_mutex);
            errors.push_back(request);
        }
        const ErrorDecision d = onError(request);
        answer([reply, d] { reply(d); });
    }

    std::vector<ClashRequest> clashes;
    std::vector<ErrorRequest> errors;
    // For a test thread waiting while the job still runs.
    size_t clashCount() const {
        std::lock_guard lock(m_mutex);
        return clashes.size();
    }

  private:
    void answer(std::function<void()> fn) {
        if (!async) {
            fn();
            return;
        }
        std::thread([fn] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            fn();
        }).detach();
    }
    mutable std::mutex m_mutex;
};

}  // namespace kv::test
