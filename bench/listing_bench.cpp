// Folder listing: the kernel floor (getdents64 + statx of each entry + sorting the names) against the
// engine (FolderLister with its sort keys, then EntrySorter). Compare the two in one run: the ratio
// is what matters on a shared, noisy machine.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/fs/listing/entrysorter.h"
#include "platform/fs/listing/folderlister.h"

namespace {

// One folder per size, filled once and shared by every benchmark of the run.
const std::string& folderWith(int count) {
    static std::map<int, std::string> made;
    auto it = made.find(count);
    if (it != made.end()) {
        return it->second;
    }
    const char* base = std::getenv("KV_BENCH_DIR");
    std::string templ = std::string(base ? base : "/tmp") + "/kvbench-XXXXXX";
    std::string dir = mkdtemp(templ.data());
    for (int i = 0; i < count; ++i) {
        const std::string name = dir + "/file" + std::to_string(i) + (i % 3 ? ".txt" : ".dat");
        close(open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
    return made[count] = dir;
}

void BM_Floor(benchmark::State& state) {
    const std::string& dir = folderWith(static_cast<int>(state.range(0)));
    std::vector<char> buf(256 * 1024);
    for (auto _ : state) {
        std::vector<std::string> names;
        const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        ssize_t n;
        while ((n = getdents64(fd, buf.data(), buf.size())) > 0) {
            for (ssize_t off = 0; off < n;) {
                auto* d = reinterpret_cast<dirent64*>(buf.data() + off);
                off += d->d_reclen;
                if (d->d_name[0] == '.' && (!d->d_name[1] || (d->d_name[1] == '.' && !d->d_name[2]))) {
                    continue;
                }
                struct statx sx {};
                statx(fd, d->d_name, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME,
                      &sx);
                names.emplace_back(d->d_name);
            }
        }
        close(fd);
        std::sort(names.begin(), names.end());
        benchmark::DoNotOptimize(names.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Engine(benchmark::State& state) {
    const std::string& dir = folderWith(static_cast<int>(state.range(0)));
    const kv::EntrySorter sorter;
    for (auto _ : state) {
        std::vector<kv::DirEntry> entries;
        kv::FolderLister::listNow(dir, entries);
        auto order = sorter.order(entries);
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ResortByType(benchmark::State& state) {
    std::vector<kv::DirEntry> entries;
    kv::FolderLister::listNow(folderWith(static_cast<int>(state.range(0))), entries);
    const kv::EntrySorter sorter(kv::SortColumn::Type, kv::SortOrder::Descending);
    for (auto _ : state) {
        auto order = sorter.order(entries);
        benchmark::DoNotOptimize(order.data());
    }
}

}  // namespace

BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResortByType)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int count : {1000, 10000, 100000}) {
        const std::string& dir = folderWith(count);
        std::vector<kv::DirEntry> entries;
        kv::FolderLister::listNow(dir, entries);
        for (const auto& e : entries) {
            unlink((dir + "/" + e.name).c_str());
        }
        rmdir(dir.c_str());
    }
}
