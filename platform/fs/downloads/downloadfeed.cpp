#include "platform/fs/downloads/downloadfeed.h"

namespace kv {

void DownloadFeed::progressed(std::uint64_t received, std::int64_t total) {
    std::lock_guard lock(m_mutex);
    if (m_now.state != State::Running) return;
    m_now.received = received;
    m_now.total = total;
    ++m_changes;
    m_cv.notify_all();
}

void DownloadFeed::ended(State state, std::string error) {
    std::lock_guard lock(m_mutex);
    if (m_now.state != State::Running || state == State::Running) return;
    m_now.state = state;
    m_now.error = std::move(error);
    ++m_changes;
    m_cv.notify_all();
}

DownloadFeed::Snapshot DownloadFeed::wait(std::uint64_t& seen, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, limit, [&] { return m_changes != seen; });
    seen = m_changes;
    return m_now;
}

DownloadFeed::Snapshot DownloadFeed::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void DownloadFeed::send(Command command) {
    {
        std::lock_guard lock(m_mutex);
        if (m_now.state != State::Running) return;
    }
    if (m_control) m_control(command);
}

}  // namespace kv
