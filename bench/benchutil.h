#pragma once

// Helpers shared by the bench programs: clocks, medians, resident memory, scratch folders, and the
// one line format the report script reads.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kv::bench {

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
