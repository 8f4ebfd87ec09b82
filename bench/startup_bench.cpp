// Start-up timer, run under an X server (xvfb-run): process start to Form1 painted with both drive
// panes listed (bench_start_kestrovan), against a bare Qt window holding one QWebEngineView
// (bench_start_bare), alternating in one run. Each child writes "painted" on a pipe; the time is
// from spawning it to reading that line. Each child runs in a process group of its own, which is
// ended afterwards (the web engine's helper processes included). Prints a ROW line.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <climits>
#include <cstring>
#include <fstream>

#include "bench/benchutil.h"

extern char** environ;

using namespace kv::bench;

namespace {

std::string selfDir() {
    char buf[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string p(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return p.substr(0, p.rfind('/'));
}

// Milliseconds until the child reported, or -1.
double timeStart(const std::string& program) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    // The web engine's start-up chatter would bury the results.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    const double t0 = nowMs();
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
    close(fds[1]);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    double t = -1;
    std::string got;
    while (got.find("painted\n") == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 30000) <= 0) break;
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    if (got.find("painted\n") != std::string::npos) t = nowMs() - t0;
    close(fds[0]);
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    usleep(200 * 1000);  // let the helpers go before the next start
    return t;
}

}  // namespace

int main() {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_startup needs an X display: run it under xvfb-run\n");
        return 1;
    }
    const std::string dir = makeTempDir("start");
    const std::string home = dir + "/home", config = dir + "/config";
    mkdir(home.c_str(), 0700);
    mkdir(config.c_str(), 0700);
    fillFolder(home, 20);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    // A session of 20 tabs (ten in each drive pane, in folders of the home folder) to restore.
    const std::string restoring = dir + "/config-tabs";
    mkdir(restoring.c_str(), 0700);
    mkdir((restoring + "/kestrovan").c_str(), 0700);
    std::ofstream(restoring + "/kestrovan/preferences.json") << R"({"restoreTabs": true})";
    {
        std::string tabs;
        for (int i = 0; i < 10; ++i) {
            const std::string folder = home + "/folder" + std::to_string(i);
            mkdir(folder.c_str(), 0700);
            fillFolder(folder, 20);
            tabs += std::string(i ? "," : "") + R"({"steps":[{"folder":")" + folder + R"("}],"position":0})";
        }
        std::ofstream(restoring + "/kestrovan/session.json")
            << R"({"version":1,"panes":{"Form1/Hard":{"current":0,"tabs":[)" << tabs
            << R"(]},"Form1/floppy":{"current":0,"tabs":[)" << tabs << "]}}}";
    }
    auto withTabs = [&](const std::string& program) {
        setenv("XDG_CONFIG_HOME", restoring.c_str(), 1);
        setenv("KV_BENCH_TABS", "10", 1);
        const double t = timeStart(program);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        unsetenv("KV_BENCH_TABS");
        return t;
    };
    const std::string bin = selfDir();
    const std::string ours = bin + "/bench_start_kestrovan", bare = bin + "/bench_start_bare";
    timeStart(ours);  // the first start writes the settings; both warm the caches
    timeStart(bare);
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 5;
    // Without a graphics processor the program draws web pages in software (the bare window, left
    // to Qt's default, composes through emulated OpenGL): the bare window is also timed drawing in
    // software, so the second row compares like with like.
    auto bareInSoftware = [&] {
        setenv("QT_QUICK_BACKEND", "software", 1);
        const double t = timeStart(bare);
        unsetenv("QT_QUICK_BACKEND");
        return t;
    };
    std::vector<double> o, b, bs, t;
    withTabs(ours);  // the first start with the session writes its settings
    for (int k = 0; k < rounds; ++k) {
        b.push_back(timeStart(bare));
        bs.push_back(bareInSoftware());
        o.push_back(timeStart(ours));
        t.push_back(withTabs(ours));
    }
    const double mo = median(o), mb = median(b), ms = median(bs), mt = median(t);
    row("Start-up: process start to Form1 painted, both drive panes listed", fmt("%.0f ms", mo),
        fmt("%.0f ms bare window with a QWebEngineView", mb), fmt("%.2f×", mo / mb), "≤ 1.2×",
        mo > 0 && mb > 0 && mo / mb <= 1.2);
    row("Start-up, against the bare window drawing its web view in software too", fmt("%.0f ms", mo),
        fmt("%.0f ms bare window, software drawing", ms), fmt("%.2f×", mo / ms), "≤ 1.2×",
        mo > 0 && ms > 0 && mo / ms <= 1.2);
    row("Start-up restoring 20 tabs (ten a drive pane), against the same start without them",
        fmt("%.0f ms", mt), fmt("%.0f ms", mo), fmt("%.2f×", mt / mo), "≤ 1.10×",
        mo > 0 && mt > 0 && mt / mo <= 1.10);
    removeTree(dir);
    return 0;
}
