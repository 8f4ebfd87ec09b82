#include "platform/fs/listing/dirwatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <cerrno>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/fs/core/callbackslot.h"

namespace kv {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
// Past this many names in one burst the model is better off listing the folder again.
constexpr size_t kMaxNames = 512;

using Clock = std::chrono::steady_clock;

}  // namespace

struct DirWatcher::State {
    int inotifyFd = -1;
    int wakeFd = -1;
    std::chrono::milliseconds quiet;
    std::chrono::milliseconds maxDelay;

    std::mutex mutex;                                   // guards commands and inPlace
    std::deque<std::pair<bool, std::string>> commands;  // (add?, path)
    std::set<std::string> inPlace;                      // the paths with an inotify watch
    // Detached by the destructor, which also ends the thread: once it returns, no change is reported.
    std::shared_ptr<CallbackSlot<const DirChange&>> onChange;

    // Watcher thread only.
    struct Watched {
        int wd = -1;
        int users = 0;
        bool pending = false;
        bool reloadAll = false;
        std::set<std::string> names;
        Clock::time_point first, last;
    };
    std::map<std::string, Watched> watched;
    std::map<int, std::string> pathByWd;

    void report(const DirChange& change) { onChange->call(change); }

    void setInPlace(const std::string& path, bool on) {
        std::lock_guard lock(mutex);
        if (on)
            inPlace.insert(path);
        else
            inPlace.erase(path);
    }

    void flush(const std::string& path, Watched& w) {
        if (!w.pending) {
            return;
        }
        DirChange c;
        c.path = path;
        c.reloadAll = w.reloadAll;
        if (!w.reloadAll) {
            c.names.assign(w.names.begin(), w.names.end());
        }
        w.pending = false;
        w.reloadAll = false;
        w.names.clear();
        report(c);
    }

    void vanish(const std::string& path, int error, bool unmounted = false) {
        auto it = watched.find(path);
        if (it != watched.end()) {
            flush(path, it->second);
            if (it->second.wd >= 0) {
                pathByWd.erase(it->second.wd);
                inotify_rm_watch(inotifyFd, it->second.wd);
            }
            // The entry stays with wd -1 so unwatch() counts still balance; a later watch() retries.
            it->second.wd = -1;
            setInPlace(path, false);
        }
        DirChange c;
        c.path = path;
        c.vanished = true;
        c.unmounted = unmounted;
        c.error = error;
        report(c);
    }

    void runCommands() {
        std::deque<std::pair<bool, std::string>> todo;
        {
            std::lock_guard lock(mutex);
            todo.swap(commands);
        }
        for (auto& [add, path] : todo) {
            if (add) {
                Watched& w = watched[path];
                ++w.users;
                if (w.wd >= 0) {
                    continue;
                }
                const int wd = inotify_add_watch(inotifyFd, path.c_str(), kMask);
                if (wd < 0) {
                    vanish(path, errno);
                    continue;
                }
                // Two paths naming one folder (a symlink) share a watch descriptor: the later wins.
                w.wd = wd;
                pathByWd[wd] = path;
                setInPlace(path, true);
            } else {
                auto it = watched.find(path);
                if (it == watched.end() || --it->second.users > 0) {
                    continue;
                }
                if (it->second.wd >= 0) {
                    pathByWd.erase(it->second.wd);
                    inotify_rm_watch(inotifyFd, it->second.wd);
                }
                setInPlace(path, false);
                watched.erase(it);
            }
        }
    }

    void readEvents() {
        alignas(inotify_event) char buf[64 * 1024];
        for (;;) {
            const ssize_t n = read(inotifyFd, buf, sizeof buf);
            if (n <= 0) {
                return;
            }
            const auto now = Clock::now();
            for (ssize_t off = 0; off < n;) {
                auto* ev = reinterpret_cast<inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    for (auto& [p, w] : watched) {
                        if (w.wd >= 0) {
                            mark(w, now, nullptr);
                        }
                    }
                    continue;
                }
                auto pit = pathByWd.find(ev->wd);
                if (pit == pathByWd.end()) {
                    continue;
                }
                const std::string path = pit->second;
                if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
                    vanish(path, 0, (ev->mask & IN_UNMOUNT) != 0);
                    continue;
                }
                Watched& w = watched[path];
                mark(w, now, ev->len ? ev->name : nullptr);
            }
        }
    }

    static void mark(Watched& w, Clock::time_point now, const char* name) {
        if (!w.pending) {
            w.pending = true;
            w.first = now;
        }
        w.last = now;
        if (!name || w.names.size() >= kMaxNames) {
            w.reloadAll = true;
            w.names.clear();
        } else if (!w.reloadAll) {
            w.names.insert(name);
        }
    }

    int timeoutMs() const {
        auto deadline = Clock::time_point::max();
        for (const auto& [p, w] : watched) {
            if (w.pending) {
                deadline = std::min(deadline, std::min(w.last + quiet, w.first + maxDelay));
            }
        }
        if (deadline == Clock::time_point::max()) {
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return left < 0 ? 0 : static_cast<int>(left) + 1;
    }

    void flushDue() {
        const auto now = Clock::now();
        for (auto& [p, w] : watched) {
            if (w.pending && (now >= w.last + quiet || now >= w.first + maxDelay)) {
                flush(p, w);
            }
        }
    }

    void run() {
        for (;;) {
            pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            const int r = poll(fds, 2, timeoutMs());
            if (r < 0 && errno != EINTR) {
                break;
            }
            if (fds[1].revents & POLLIN) {
                uint64_t v;
                (void)!read(wakeFd, &v, sizeof v);
                if (!onChange->attached()) {
                    break;
                }
                runCommands();
            }
            if (fds[0].revents & POLLIN) {
                readEvents();
            }
            flushDue();
        }
        close(inotifyFd);
        close(wakeFd);
    }

    void wake() {
        const uint64_t one = 1;
        (void)!write(wakeFd, &one, sizeof one);
    }
};

DirWatcher::DirWatcher(ChangeFn onChange, std::chrono::milliseconds quiet, std::chrono::milliseconds maxDelay)
    : m_state(std::make_shared<State>()) {
    m_state->quiet = quiet;
    m_state->maxDelay = maxDelay;
    m_state->onChange = CallbackSlot<const DirChange&>::make(std::move(onChange));
    m_state->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_state->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // A thread for the watcher's whole life, not work that ends: not counted by background::inFlight.
    std::thread([s = m_state] { s->run(); }).detach();
}

DirWatcher::~DirWatcher() {
    m_state->onChange->detach();
    m_state->wake();
}

void DirWatcher::watch(const std::string& path) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->commands.emplace_back(true, path);
    }
    m_state->wake();
}

bool DirWatcher::isWatching(const std::string& path) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->inPlace.contains(path);
}

void DirWatcher::unwatch(const std::string& path) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->commands.emplace_back(false, path);
    }
    m_state->wake();
}

}  // namespace kv
