// Archives against bsdtar in the same run, on the same filesystem (KV_BENCH_DIR, /tmp by default): a
// 100,000-entry zip listed (the index the view reads, against bsdtar -tf), a tar extracted (against
// bsdtar -xf) and a folder compressed to tar.zst (against bsdtar --zstd -cf). KV_BENCH_ARCHIVE_MB
// sizes the last two (1024 by default). Every timed run that writes starts after a sync. Prints ROW
// lines.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "bench/benchutil.h"
#include "platform/fs/archives/archiveindex.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/fs/archives/extractjob.h"

using namespace kv::bench;

namespace {

double runJob(kv::FileJob& job) {
    const double t0 = nowMs();
    job.start();
    job.wait();
    const double t = nowMs() - t0;
    if (!job.result().ok() && !job.result().reports.empty())
        std::fprintf(stderr, "job failed: %s: %s\n", job.result().reports.front().path.c_str(),
                     job.result().reports.front().other.c_str());
    return t;
}

// The median of each round's own ratio (the two runs of a round ran back to back).
double pairedRatio(const std::vector<double>& num, const std::vector<double>& den) {
    std::vector<double> ratios;
    for (size_t k = 0; k < num.size() && k < den.size(); ++k) ratios.push_back(num[k] / den[k]);
    return median(ratios);
}

void writeData(const std::string& path, std::size_t bytes, unsigned seed) {
    // Not zeros, and not too regular: compressing it must cost what real files cost.
    std::vector<unsigned char> block(1 << 20);
    unsigned x = seed * 2654435761u + 1;
    for (auto& b : block) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>((x >> 16) & 0x3f);  // six bits of noise: compresses somewhat
    }
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t n = std::min(block.size(), bytes - done);
        if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
        done += n;
        block[done % block.size()] ^= 0x15;
    }
    close(fd);
}

std::string numbered(const char* stem, int i) {
    std::string n = stem;
    n += std::to_string(i);
    return n;
}

void listing(const std::string& work, int rounds) {
    const std::string zip = work + "/many.zip";
    {
        struct archive* a = archive_write_new();
        archive_write_set_format_zip(a);
        // One-byte files: deflating each would make the setting up slow and the listing no different.
        archive_write_set_options(a, "zip:compression=store");
        archive_write_open_filename(a, zip.c_str());
        archive_entry* e = archive_entry_new();
        for (int i = 0; i < 100000; ++i) {
            archive_entry_clear(e);
            const std::string path = numbered("folder", i / 1000) + "/" + numbered("file", i) + ".txt";
            archive_entry_set_pathname(e, path.c_str());
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, 1);
            archive_write_header(a, e);
            archive_write_data(a, "x", 1);
        }
        archive_entry_free(e);
        archive_write_close(a);
        archive_write_free(a);
    }
    std::vector<double> ours, tool;
    for (int k = 0; k < rounds; ++k) {
        const double t0 = nowMs();
        const auto index = kv::ArchiveIndex::read(zip);
        const auto top = index->list("");
        ours.push_back(nowMs() - t0);
        if (top.size() != 100) std::fprintf(stderr, "listed %zu folders\n", top.size());
        tool.push_back(runTool({"bsdtar", "-tf", zip}));
    }
    const double r = pairedRatio(ours, tool);
    row("List a 100,000-entry zip", fmt("%.0f ms", median(ours)), fmt("%.0f ms bsdtar -tf", median(tool)),
        fmt("%.2f×", r), "≤ 1.5×", r <= 1.5);
}

void extraction(const std::string& work, int rounds, std::size_t bytes) {
    const std::string src = work + "/src";
    mkdir(src.c_str(), 0755);
    const int files = 16;
    for (int i = 0; i < files; ++i) writeData(src + "/" + numbered("part", i), bytes / files, i);
    const std::string tar = work + "/big.tar";
    runTool({"bsdtar", "-cf", tar, "-C", work, "src"});
    std::vector<double> ours, tool;
    std::vector<std::string> made;
    auto into = [&] {
        const std::string d = work + "/" + numbered("x", static_cast<int>(made.size()));
        mkdir(d.c_str(), 0755);
        made.push_back(d);
        sync();
        return d;
    };
    for (int k = 0; k < rounds; ++k) {
        const std::string a = into();
        kv::ExtractJob job({tar, "", {}, a, "", false});
        ours.push_back(runJob(job));
        const std::string b = into();
        tool.push_back(runTool({"bsdtar", "-xf", tar, "-C", b}));
    }
    for (const std::string& m : made) removeTree(m);
    const double r = pairedRatio(tool, ours), mb = static_cast<double>(bytes) / (1 << 20);
    row(fmt("Extract a %.0f MiB tar: throughput", mb), fmt("%.0f MiB/s", mb / (median(ours) / 1000)),
        fmt("%.0f MiB/s bsdtar -xf", mb / (median(tool) / 1000)), fmt("%.2f×", r), "≥ 0.9×", r >= 0.9);
    removeTree(tar);

    // The same folder compressed to tar.zst.
    std::vector<double> ours2, tool2;
    for (int k = 0; k < rounds; ++k) {
        const std::string a = work + "/" + numbered("ours", k) + ".tar.zst";
        const std::string b = work + "/" + numbered("tool", k) + ".tar.zst";
        sync();
        kv::CompressJob job({src}, a, kv::ArchiveFormat::TarZst);
        ours2.push_back(runJob(job));
        sync();
        tool2.push_back(runTool({"bsdtar", "--zstd", "-cf", b, "-C", work, "src"}));
        unlink(a.c_str());
        unlink(b.c_str());
    }
    const double r2 = pairedRatio(tool2, ours2);
    row(fmt("Compress a %.0f MiB folder to tar.zst: throughput", mb),
        fmt("%.0f MiB/s", mb / (median(ours2) / 1000)),
        fmt("%.0f MiB/s bsdtar --zstd -cf", mb / (median(tool2) / 1000)), fmt("%.2f×", r2), "≥ 0.9×",
        r2 >= 0.9);
}

}  // namespace

int main() {
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 3;
    const char* mbEnv = std::getenv("KV_BENCH_ARCHIVE_MB");
    const std::size_t mb = mbEnv ? static_cast<std::size_t>(std::max(16, std::atoi(mbEnv))) : 1024;
    const std::string work = makeTempDir("archive");
    listing(work, std::max(rounds, 5));
    extraction(work, rounds, mb << 20);
    removeTree(work);
    return 0;
}
