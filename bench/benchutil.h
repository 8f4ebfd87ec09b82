#pragma once

// Helpers shared by the bench programs: clocks, medians, resident memory, scratch folders, and the
// one line format the report script reads.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace kv::bench {

// Runs a tool to its end (its output to /dev/null, in dir when given) and returns its time in ms, or
// -1 when it could not be started; says so on stderr when it failed.
inline double runTool(std::vector<std::string> args, const std::string& dir = {}) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s failed\n", args.front().c_str());
    return t;
}

// A file of the given size whose data is not zeros, so that no tool may skip it as a hole.
inline void writeData(const std::string& path, std::size_t bytes, unsigned seed = 0) {
    std::vector<unsigned char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>((i * 131 + seed) >> 3);
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t n = std::min(block.size(), bytes - done);
        if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
        done += n;
        block[done % block.size()] ^= 0x5a;
    }
    close(fd);
}

inline double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Resident set size of this process, in bytes.
inline long rssBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

inline std::string scratchBase() {
    const char* base = std::getenv("KV_BENCH_DIR");
    return base && *base ? base : "/tmp";
}

inline std::string makeTempDir(const std::string& tag) {
    std::string templ = scratchBase() + "/kvbench-" + tag + "-XXXXXX";
    return mkdtemp(templ.data());
}

// Empty files named like a real folder's: mixed extensions, numbers of different lengths.
inline void fillFolder(const std::string& dir, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = dir + "/file" + std::to_string(i) + (i % 3 ? ".txt" : ".dat");
        close(open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
}

inline void removeTree(const std::string& path) {
    const std::string cmd = "rm -rf '" + path + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

// One row of the report: "ROW<TAB>measure<TAB>ours<TAB>baseline<TAB>ratio<TAB>target<TAB>met".
// `ours` and `baseline` are already formatted with their units.
inline void row(const std::string& measure, const std::string& ours, const std::string& baseline,
                const std::string& ratio, const std::string& target, bool met) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", measure.c_str(), ours.c_str(), baseline.c_str(),
                ratio.c_str(), target.c_str(), met ? "yes" : "no");
    std::fflush(stdout);
}

inline std::string fmt(const char* f, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, v);
    return buf;
}

}  // namespace kv::bench
