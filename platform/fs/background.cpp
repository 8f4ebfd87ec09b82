#include "platform/fs/background.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <mutex>
#include <thread>

namespace kv {

namespace {

// The application object posted functions are queued on. Cleared when it is destroyed, under the
// same lock every post takes, so no post reaches a destroyed application. The lock also orders a
// post before its run in a way thread checkers can see (Qt's own event-queue lock is invisible to
// them).
std::mutex& appMutex() {
    static std::mutex m;
    return m;
}
QCoreApplication* g_app = nullptr;
bool g_hooked = false;

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

}  // namespace

bool Receiver::post(std::function<void()> fn) const {
    std::lock_guard lock(appMutex());
    QCoreApplication* app = currentApp();
    if (!app || QCoreApplication::closingDown()) return false;
    auto shared = std::make_shared<std::function<void()>>(std::move(fn));
    QMetaObject::invokeMethod(
        app,
        [object = m_object, shared] {
            { std::lock_guard sync(appMutex()); }
            if (object && !QCoreApplication::closingDown()) (*shared)();
        },
        Qt::QueuedConnection);
    return true;
}

bool Receiver::alive() const {
    return m_object && !QCoreApplication::closingDown();
}

namespace background {

void runOnPool(std::function<void()> fn) {
    auto shared = std::make_shared<std::function<void()>>(std::move(fn));
    std::lock_guard lock(appMutex());
    QThreadPool::globalInstance()->start([shared] {
        { std::lock_guard sync(appMutex()); }
        (*shared)();
    });
}

void runDetached(std::function<void()> fn) {
    std::thread(std::move(fn)).detach();
}

}  // namespace background

}  // namespace kv
