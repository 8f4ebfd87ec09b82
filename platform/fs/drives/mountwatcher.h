#pragma once

#include <string>

namespace kv {

// Tells when the mount table changes. The kernel flags /proc/self/mountinfo with POLLPRI on every
// mount and unmount, so a thread can sleep in wait(), a Qt event loop can watch fd() with a
// QSocketNotifier of type Exception and then call changed(), and a timer can just call changed().
class MountWatcher {
  public:
    explicit MountWatcher(const std::string& mountInfoPath = "/proc/self/mountinfo");
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    // Blocks up to timeoutMs (-1: forever) and returns true when the table changed since the last
    // call. Safe to call from one thread at a time.
    bool wait(int timeoutMs);

    // Non-blocking form of wait().
    bool changed() { return wait(0); }

    int fd() const { return m_fd; }

  private:
    std::string readAll();

    int m_fd = -1;
    std::string m_last;
};

}  // namespace kv
