// Comparing two trees of 100,000 files each by name, size and time, against rsync listing what it
// would change (rsync -rn --itemize-changes) over the same trees. The trees are read once before the
// rounds so both run on a warm cache; the medians of the rounds are compared. Prints a ROW line.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "bench/benchutil.h"
#include "platform/fs/compare/foldercompare.h"

using namespace kv::bench;

namespace {

constexpr int kFolders = 200;
constexpr int kPerFolder = 500;  // 100,000 files a side

double runRsync(const std::string& left, const std::string& right) {
    return runTool({"rsync", "-rn", "--itemize-changes", left + "/", right + "/"});
}

double runOurs(const std::string& left, const std::string& right, size_t& rows) {
    kv::CompareOptions o;
    o.left = left;
    o.right = right;
    const double t0 = nowMs();
    const kv::CompareResult r = kv::FolderCompare::run(o);
    const double t = nowMs() - t0;
    rows = r.rows.size();
    return t;
}

// The same files on both sides with the same times; one in a hundred is newer on the left, one in a
// hundred only on the left.
void makeTrees(const std::string& left, const std::string& right) {
    for (int d = 0; d < kFolders; ++d) {
        const std::string sub = "/folder" + std::to_string(d);
        mkdir((left + sub).c_str(), 0755);
        mkdir((right + sub).c_str(), 0755);
        for (int i = 0; i < kPerFolder; ++i) {
            const std::string name = sub + "/file" + std::to_string(i) + (i % 3 ? ".txt" : ".dat");
            const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 0}};
            const timespec newer[2] = {{0, UTIME_OMIT}, {1'700'100'000, 0}};
            for (const std::string* side : {&left, &right}) {
                if (i % 100 == 7 && side == &right) continue;
                const std::string path = *side + name;
                const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                futimens(fd, i % 100 == 3 && side == &left ? newer : times);
                close(fd);
            }
        }
    }
}

}  // namespace

int main() {
    const std::string base = makeTempDir("compare");
    const std::string left = base + "/left", right = base + "/right";
    mkdir(left.c_str(), 0755);
    mkdir(right.c_str(), 0755);
    makeTrees(left, right);
    size_t rows = 0;
    runOurs(left, right, rows);  // warms the cache for both
    runRsync(left, right);
    std::vector<double> ours, tool;
    for (int round = 0; round < 5; ++round) {
        ours.push_back(runOurs(left, right, rows));
        tool.push_back(runRsync(left, right));
    }
    removeTree(base);
    if (rows != static_cast<size_t>(kFolders * kPerFolder)) std::fprintf(stderr, "%zu rows\n", rows);
    const double ratio = median(ours) / median(tool);
    row("Compare two trees of 100,000 files (name, size, time)", fmt("%.0f ms", median(ours)),
        fmt("%.0f ms rsync -rn", median(tool)), fmt("%.2f×", ratio), "≤ 1.5×", ratio <= 1.5);
    return 0;
}
