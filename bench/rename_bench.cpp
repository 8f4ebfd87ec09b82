// Renaming 10,000 files in one folder as one batch job, against mmv renaming the same files by a
// pattern in the same run (a shell loop of mv, a process a file, is far slower and left out). Each
// round renames the files there and back; the medians of the rounds are compared. Prints a ROW line.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "bench/benchutil.h"
#include "platform/fs/operations/batchrenamejob.h"

using namespace kv::bench;

namespace {

constexpr int kFiles = 10000;

// Renames every file of dir from prefix `from` to prefix `to`, as one job.
double runOurs(const std::string& dir, const char* from, const char* to) {
    std::vector<std::pair<std::string, std::string>> renames;
    renames.reserve(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        const std::string n = std::to_string(i);
        std::string path = dir;
        path.append("/").append(from).append(n);
        renames.emplace_back(std::move(path), std::string(to).append(n));
    }
    const double t0 = nowMs();
    kv::BatchRenameJob job(std::move(renames));
    job.start();
    job.wait();
    const double t = nowMs() - t0;
    if (!job.result().ok()) std::fprintf(stderr, "rename job failed\n");
    return t;
}

}  // namespace

int main() {
    const std::string dir = makeTempDir("rename");
    for (int i = 0; i < kFiles; ++i)
        close(open((dir + "/f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    std::vector<double> ours, tool;
    for (int round = 0; round < 5; ++round) {
        ours.push_back(runOurs(dir, "f", "g"));
        runOurs(dir, "g", "f");
        tool.push_back(runTool({"mmv", "f*", "g#1"}, dir));
        runTool({"mmv", "g*", "f#1"}, dir);
    }
    removeTree(dir);
    const double ratio = median(ours) / median(tool);
    row("Rename 10,000 files as one job", fmt("%.0f ms", median(ours)), fmt("%.0f ms mmv", median(tool)),
        fmt("%.2f×", ratio), "≤ 1.5×", ratio <= 1.5);
    return 0;
}
