#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace kv {

// A callback that a worker thread calls while its owner wants it, shared between the two. The owner
// detaches it when it cancels or goes; detach() returns only once no call is running (except one on
// the detaching thread itself: a callback may cancel its own work), so after it nothing the callback
// captured is touched again. The worker keeps its copy of the slot and learns from call() returning
// false that nobody listens any more.
template <typename... Args>
class CallbackSlot {
  public:
    using Fn = std::function<void(Args...)>;

    static std::shared_ptr<CallbackSlot> make(Fn fn) { return std::make_shared<CallbackSlot>(std::move(fn)); }

    explicit CallbackSlot(Fn fn) : m_fn(std::move(fn)) {}
    CallbackSlot(const CallbackSlot&) = delete;
    CallbackSlot& operator=(const CallbackSlot&) = delete;

    // Calls the callback if still attached; false once detached.
    bool call(Args... args) {
        std::lock_guard lock(m_mutex);
        if (!m_fn) return false;
        m_fn(std::forward<Args>(args)...);
        return true;
    }

    void detach() {
        std::lock_guard lock(m_mutex);
        m_fn = nullptr;
    }

    bool attached() {
        std::lock_guard lock(m_mutex);
        return static_cast<bool>(m_fn);
    }

  private:
    // Recursive: the callback may detach its own slot.
    std::recursive_mutex m_mutex;
    Fn m_fn;
};

}  // namespace kv
