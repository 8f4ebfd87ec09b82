#include "platform/fs/core/background.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <atomic>
#include <mutex>
#include <thread>

namespace kv {

namespace {

// The application object posted functions are queued on. Cleared when it is destroyed, under the
// same lock every post takes, so no post reaches a destroyed application. The lock also orders a
// post before its run in a way thread checkers can see (Qt's own event-queue lock is invisible to
// them). Recursive: a posted function's holder takes it when it is destroyed, which may happen while
// the same thread holds it (a moved-from holder inside the post, a dropped function that posts again).
std::recursive_mutex& appMutex() {
    static std::recursive_mutex m;
    return m;
}
QCoreApplication* g_app = nullptr;
bool g_hooked = false;
std::atomic<int> g_inFlight{0};

void appGone() {
    std::lock_guard lock(appMutex());
    g_app = nullptr;
}

QCoreApplication* currentApp() {
    // Caller holds appMutex.
    if (!g_app || g_app != QCoreApplication::instance()) {
        g_app = QCoreApplication::instance();
        if (g_app && !g_hooked) {
            g_hooked = true;
            qAddPostRoutine(appGone);
        }
    }
    return g_app;
}

// A posted function and what runs instead of it if it never does: when the event carrying it is
// destroyed unrun (object gone, application closing, or the queue dropped with the application).
struct Posted {
    std::function<void()> fn;
    std::function<void()> dropped;
    bool ran = false;
    Posted() { ++g_inFlight; }
    ~Posted() {
        if (!ran && dropped) dropped();
        --g_inFlight;
    }
    Posted(const Posted&) = delete;
    Posted& operator=(const Posted&) = delete;
};

// Holds a posted function inside the queued event. The event may be destroyed unrun on another
// thread than the one that posted it (the object gone, the application dropping its queue); taking
// the lock before anything of it is read gives the thread checker the edge between the poster's
// writes and that destruction.
struct PostedRef {
    std::shared_ptr<Posted> posted;
    explicit PostedRef(std::shared_ptr<Posted> p) : posted(std::move(p)) {}
    PostedRef(PostedRef&&) noexcept = default;
    PostedRef(const PostedRef&) = default;
    PostedRef& operator=(const PostedRef&) = delete;
    PostedRef& operator=(PostedRef&&) = delete;
    ~PostedRef() { std::lock_guard sync(appMutex()); }
};

}  // namespace

bool Receiver::post(std::function<void()> fn, std::function<void()> dropped) const {
    auto posted = std::make_shared<Posted>();
    posted->fn = std::move(fn);
    posted->dropped = std::move(dropped);
    // Made before the lock is taken, so that it and any copy of it are destroyed after the lock is
    // released: when it is not posted, its destruction runs the dropped function.
    auto task = [object = m_object, ref = PostedRef(std::move(posted))] {
        { std::lock_guard sync(appMutex()); }
        if (object && !QCoreApplication::closingDown()) {
            ref.posted->ran = true;
            ref.posted->fn();
        }
    };
    std::unique_lock lock(appMutex());
    QCoreApplication* app = currentApp();
    if (!app || QCoreApplication::closingDown()) {
        return false;
    }
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
    return true;
}

bool Receiver::alive() const {
    return m_object && !QCoreApplication::closingDown();
}

namespace background {

void runOnPool(std::function<void()> fn) {
    runOnPool(*QThreadPool::globalInstance(), std::move(fn));
}

void runOnPool(QThreadPool& pool, std::function<void()> fn) {
    // The pool's own locks are invisible to the thread checker; this mutex is the edge it sees
    // between the caller's writes and the pool thread's reads.
    auto shared = std::make_shared<std::function<void()>>(std::move(fn));
    std::lock_guard lock(appMutex());
    ++g_inFlight;
    pool.start([shared] {
        { std::lock_guard sync(appMutex()); }
        (*shared)();
        --g_inFlight;
    });
}

void runDetached(std::function<void()> fn) {
    ++g_inFlight;
    std::thread([fn = std::move(fn)] {
        fn();
        --g_inFlight;
    }).detach();
}

int inFlight() {
    return g_inFlight;
}

}  // namespace background

}  // namespace kv
