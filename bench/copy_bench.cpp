// The file jobs against cp and mv in the same run, on the same filesystem (KV_BENCH_DIR, /tmp by
// default): 10,000 files of 4 KiB, one 1 GiB file, and moves within one filesystem. Every timed
// copy starts after a sync, so no run pays for the previous one's write-back. Prints ROW lines.
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <memory>

#include "bench/benchutil.h"
#include "platform/fs/operations/transferjob.h"

using namespace kv::bench;

namespace {

double runJob(kv::TransferMode mode, std::vector<std::string> sources, const std::string& target) {
    const double t0 = nowMs();
    kv::TransferJob job(mode, std::move(sources), target);
    job.start();
    job.wait();
    const double t = nowMs() - t0;
    if (!job.result().ok())
        std::fprintf(stderr, "job failed: %s: %s\n", job.result().reports.front().path.c_str(),
                     std::strerror(job.result().reports.front().error));
    return t;
}

void syncAll() {
    sync();
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about `"f" + std::to_string(i)`.
std::string fileName(int i) {
    std::string n = "f";
    n += std::to_string(i);
    return n;
}

struct Pair {
    std::vector<double> ours, tool;
};

// The median of each round's own ratio: the two runs of a round ran back to back, under the same
// state of the disk, which drifts a lot from round to round.
double pairedRatio(const std::vector<double>& num, const std::vector<double>& den) {
    std::vector<double> ratios;
    for (size_t k = 0; k < num.size() && k < den.size(); ++k) ratios.push_back(num[k] / den[k]);
    return median(ratios);
}

void copyRows(const std::string& what, const std::string& src, const std::string& work, int rounds,
              double bytes) {
    Pair p;
    // Each copy goes to a folder of its own, all removed only after the last round: ext4 skips over
    // inodes freed in the last minute when it makes new ones, so removing one round's copy would
    // slow the next round down, by an amount that depends on who went first. Each timed copy starts
    // after a sync, with nothing dirty in the page cache; the tools take turns going first.
    std::vector<std::string> made;
    auto once = [&](bool ours) {
        const std::string into = work + "/into" + std::to_string(made.size());
        made.push_back(into);
        mkdir(into.c_str(), 0755);
        syncAll();
        if (ours) {
            p.ours.push_back(runJob(kv::TransferMode::Copy, {src}, into));
        } else {
            p.tool.push_back(runTool({"cp", "-r", src, into + "/"}));
        }
    };
    for (int k = 0; k < rounds; ++k) {
        once(k % 2 == 0);
        once(k % 2 != 0);
    }
    for (const std::string& m : made) removeTree(m);
    if (std::getenv("KV_BENCH_VERBOSE")) {
        for (double v : p.ours) std::fprintf(stderr, "ours %.0f\n", v);
        for (double v : p.tool) std::fprintf(stderr, "cp %.0f\n", v);
    }
    const double o = median(p.ours), t = median(p.tool);
    const double r = pairedRatio(p.tool, p.ours);
    const double mb = bytes / (1024.0 * 1024.0);
    row("Copy " + what + ": throughput", fmt("%.0f MiB/s", mb / (o / 1000)) + fmt(" (%.0f ms)", o),
        fmt("%.0f MiB/s", mb / (t / 1000)) + fmt(" (%.0f ms) cp -r", t), fmt("%.2f×", r), "≥ 0.9×", r >= 0.9);
}

}  // namespace

// KV_BENCH_COPY picks parts by name (small, move, big; all by default), for profiling one alone.
bool wanted(const char* part) {
    const char* only = std::getenv("KV_BENCH_COPY");
    return !only || std::strstr(only, part) != nullptr;
}

int main() {
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 5;
    const std::string work = makeTempDir("copy");

    // 10,000 files of 4 KiB.
    const std::string small = work + "/small";
    mkdir(small.c_str(), 0755);
    {
        std::string data(4096, 'x');
        for (int i = 0; i < 10000; ++i) {
            data[i % 4096] = static_cast<char>('a' + i % 26);
            const std::string p = small + "/" + fileName(i);
            const int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (write(fd, data.data(), data.size()) != 4096) std::fprintf(stderr, "short write\n");
            close(fd);
        }
    }
    if (wanted("small")) copyRows("10,000 × 4 KiB files", small, work, rounds, 10000.0 * 4096);

    // Moves within the filesystem: the folder itself (one rename), then its 10,000 files one by one.
    if (wanted("move")) {
        Pair dirMove, filesMove;
        const std::string there = work + "/there";
        mkdir(there.c_str(), 0755);
        std::vector<std::string> names;
        for (int i = 0; i < 10000; ++i) names.push_back(fileName(i));
        for (int k = 0; k < rounds; ++k) {
            dirMove.tool.push_back(runTool({"mv", small, there + "/"}));
            rename((there + "/small").c_str(), small.c_str());
            dirMove.ours.push_back(runJob(kv::TransferMode::Move, {small}, there));
            rename((there + "/small").c_str(), small.c_str());

            std::vector<std::string> args{"mv", "-t", there};
            std::vector<std::string> sources;
            for (const auto& n : names) {
                args.push_back(small + "/" + n);
                sources.push_back(small + "/" + n);
            }
            filesMove.tool.push_back(runTool(args));
            for (const auto& n : names) rename((there + "/" + n).c_str(), (small + "/" + n).c_str());
            filesMove.ours.push_back(runJob(kv::TransferMode::Move, sources, there));
            for (const auto& n : names) rename((there + "/" + n).c_str(), (small + "/" + n).c_str());
        }
        const double od = median(dirMove.ours), td = median(dirMove.tool);
        row("Move a folder of 10,000 files within one filesystem", fmt("%.1f ms", od), fmt("%.1f ms mv", td),
            fmt("%.2f×", pairedRatio(dirMove.ours, dirMove.tool)), "≈ mv (≤ 1.5×)",
            pairedRatio(dirMove.ours, dirMove.tool) <= 1.5);
        const double of = median(filesMove.ours), tf = median(filesMove.tool);
        row("Move 10,000 files within one filesystem", fmt("%.1f ms", of), fmt("%.1f ms mv -t", tf),
            fmt("%.2f×", pairedRatio(filesMove.ours, filesMove.tool)), "≈ mv (≤ 1.5×)",
            pairedRatio(filesMove.ours, filesMove.tool) <= 1.5);
    }
    removeTree(small);

    // One 1 GiB file.
    if (wanted("big")) {
        const std::string big = work + "/big.bin";
        writeData(big, std::size_t(1) << 30, 7);
        copyRows("one 1 GiB file", big, work, std::min(rounds, 3), double(std::size_t(1) << 30));
    }
    removeTree(work);
    return 0;
}
