#include "platform/fs/drives/mountwatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace kv {

MountWatcher::MountWatcher(const std::string& mountInfoPath) {
    m_fd = open(mountInfoPath.c_str(), O_RDONLY | O_CLOEXEC);
    m_last = readAll();
}

MountWatcher::~MountWatcher() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

std::string MountWatcher::readAll() {
    std::string out;
    if (m_fd < 0) {
        return out;
    }
    // Reading the table to its end also re-arms the POLLPRI notification.
    lseek(m_fd, 0, SEEK_SET);
    char buf[16384];
    for (;;) {
        const ssize_t n = read(m_fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

bool MountWatcher::wait(int timeoutMs) {
    if (m_fd < 0) {
        return false;
    }
    pollfd p{m_fd, POLLPRI, 0};
    const int r = poll(&p, 1, timeoutMs);
    // Some kernels and test files give no POLLPRI; comparing the text keeps changed() honest when
    // polled from a timer, and filters wake-ups that changed nothing (a remount with the same text).
    if (r < 0) {
        return false;
    }
    std::string now = readAll();
    if (now == m_last) {
        return false;
    }
    m_last = std::move(now);
    return true;
}

}  // namespace kv
