#include "platform/fs/thumbnails/thumbnailerprocess.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/fs/core/spawn.h"

namespace kv {

ThumbnailerProcess::Outcome ThumbnailerProcess::run(const std::vector<std::string>& argv, int timeoutMs) {
    if (argv.empty()) return Outcome::NotStarted;
    // A session of its own: on a timeout the whole group goes, not just a shell that started it.
    pid_t pid = -1;
    const int rc = spawnDetachedQuiet(argv, pid);
    if (rc != 0) return Outcome::NotStarted;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) return Outcome::Failed;
        if (Clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return Outcome::TimedOut;
        }
        // Most thumbnailers finish in tens of milliseconds; waiting in growing steps keeps both the
        // answer quick and the polling cheap.
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(20)) pause *= 2;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Outcome::Exited : Outcome::Failed;
}

}  // namespace kv
