#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

class QThreadPool;

namespace kv {

// The one way work leaves the UI thread and its result comes back.
//
// A Receiver is made on the UI thread from the object that wants the result. Anything posted to it
// from any thread runs later on the UI thread, and only if the object still exists and the
// application is not closing; otherwise it is dropped (destroyed, never called).
//
//   runInBackground(this, [path] { return countSomething(path); },
//                   [this](Count c) { show(c); });
//
// CPU-only work runs on a shared pool; work that may block on the filesystem (a hung mount can block a
// call for ever) runs on a thread of its own that nobody waits for: runDetached.
class Receiver {
  public:
    Receiver() = default;
    explicit Receiver(QObject* object) : m_object(object) {}

    // Any thread. False when the application is already gone (the function is dropped at once).
    // dropped, when given, runs instead of fn once fn is dropped, so a worker that waits for an
    // answer gets one: at once when post returns false, else on the UI thread (or as the application
    // goes).
    bool post(std::function<void()> fn, std::function<void()> dropped = {}) const;
    // UI thread: whether a posted function would still run.
    bool alive() const;

  private:
    QPointer<QObject> m_object;
};

namespace background {

// Runs fn on a pool thread. For work that touches no filesystem.
void runOnPool(std::function<void()> fn);
// Runs fn on a thread of the given pool.
void runOnPool(QThreadPool& pool, std::function<void()> fn);
// Runs fn on a detached thread of its own.
void runDetached(std::function<void()> fn);
// How many functions given to the above have not returned yet, plus how many posted to a Receiver
// have neither run nor been dropped yet. Zero: all work started so far is done and what it brought
// back has been delivered or dropped. Tests wait for that instead of sleeping a guessed while.
int inFlight();

}  // namespace background

// work() runs off the UI thread; deliver(result) then runs on the UI thread if receiver is alive.
template <typename Work, typename Deliver>
void runInBackground(QObject* receiver, Work work, Deliver deliver, bool mayBlock = true) {
    Receiver r(receiver);
    auto job = [r, work = std::move(work), deliver = std::move(deliver)]() mutable {
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
            work();
            r.post([deliver = std::move(deliver)]() mutable { deliver(); });
        } else {
            auto result = std::make_shared<std::invoke_result_t<Work&>>(work());
            r.post([deliver = std::move(deliver), result]() mutable { deliver(std::move(*result)); });
        }
    };
    if (mayBlock) {
        background::runDetached(std::move(job));
    } else {
        background::runOnPool(std::move(job));
    }
}

}  // namespace kv
