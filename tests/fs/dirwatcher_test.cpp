#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "fs/tempdir.h"
#include "fs/waituntil.h"
#include "platform/fs/listing/dirwatcher.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::TempDir;
using test::writeFile;

struct Log {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<DirChange> changes;

    DirWatcher::ChangeFn fn() {
        return [this](const DirChange& c) {
            std::lock_guard lock(mutex);
            changes.push_back(c);
            cv.notify_all();
        };
    }
    bool waitFor(size_t n, std::chrono::milliseconds timeout = 15000ms) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, timeout, [&] { return changes.size() >= n; });
    }
    // Waits for a change of path to be reported.
    bool waitForPath(const std::string& path) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 15000ms, [&] {
            return std::any_of(changes.begin(), changes.end(),
                               [&](const DirChange& c) { return c.path == path; });
        });
    }
};

// Watches path and waits until the watch is in place, which happens on the watcher's thread.
bool watchNow(DirWatcher& watcher, const std::string& path) {
    watcher.watch(path);
    return test::waitUntil([&] { return watcher.isWatching(path); });
}

TEST(DirWatcher, ReportsNamesOfAQuietChange) {
    TempDir dir;
    Log log;
    DirWatcher watcher(log.fn(), 50ms, 300ms);
    ASSERT_TRUE(watchNow(watcher, dir.path()));
    writeFile(dir / "new.txt", "x");
    ASSERT_TRUE(log.waitFor(1));
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.changes[0].path, dir.path());
    EXPECT_FALSE(log.changes[0].vanished);
    EXPECT_EQ(log.changes[0].names, std::vector<std::string>{"new.txt"});
}

TEST(DirWatcher, CoalescesABurst) {
    TempDir dir;
    mkdir((dir / "burst").c_str(), 0755);
    mkdir((dir / "sentinel").c_str(), 0755);
    Log log;
    DirWatcher watcher(log.fn(), 100ms, 2000ms);
    ASSERT_TRUE(watchNow(watcher, dir / "burst"));
    ASSERT_TRUE(watchNow(watcher, dir / "sentinel"));
    for (int i = 0; i < 10000; ++i) {
        ::close(::creat((dir / ("burst/f" + std::to_string(i))).c_str(), 0644));
    }
    // A change after the burst, in a folder that sorts after it: once it is reported, so is the
    // whole burst (its last events came first, and are flushed first).
    writeFile(dir / "sentinel/after", "x");
    ASSERT_TRUE(log.waitForPath(dir / "sentinel"));
    std::lock_guard lock(log.mutex);
    // A burst that takes a few seconds to write (longer on a loaded machine) may be cut by the
    // latest-delay rule a few times; what matters is that 10,000 changes become a handful, and that a
    // change too big to list names asks for a full reload.
    const auto burst = std::count_if(log.changes.begin(), log.changes.end(),
                                     [&](const DirChange& c) { return c.path == dir / "burst"; });
    EXPECT_GE(burst, 1);
    EXPECT_LE(burst, 50);
    bool reload = false;
    for (const auto& c : log.changes) reload = reload || c.reloadAll;
    EXPECT_TRUE(reload);
}

TEST(DirWatcher, ReportsVanishedFolderAndNonRecursive) {
    TempDir dir;
    mkdir((dir / "shown").c_str(), 0755);
    mkdir((dir / "shown/sub").c_str(), 0755);
    mkdir((dir / "zz-sentinel").c_str(), 0755);
    Log log;
    DirWatcher watcher(log.fn(), 30ms, 200ms);
    ASSERT_TRUE(watchNow(watcher, dir / "shown"));
    ASSERT_TRUE(watchNow(watcher, dir / "zz-sentinel"));
    writeFile(dir / "shown/sub/deep", "");  // below the shown folder: not reported
    // Reported once a change below the shown folder would have been: it came later, and sorts after.
    writeFile(dir / "zz-sentinel/after", "x");
    ASSERT_TRUE(log.waitForPath(dir / "zz-sentinel"));
    {
        std::lock_guard lock(log.mutex);
        ASSERT_EQ(log.changes.size(), 1u);
        EXPECT_EQ(log.changes[0].path, dir / "zz-sentinel");
        log.changes.clear();
    }
    rename((dir / "shown").c_str(), (dir / "elsewhere").c_str());
    ASSERT_TRUE(log.waitFor(1));
    std::lock_guard lock(log.mutex);
    EXPECT_TRUE(log.changes.back().vanished);
    EXPECT_EQ(log.changes.back().path, dir / "shown");
}

TEST(DirWatcher, MissingFolderIsReportedVanished) {
    Log log;
    DirWatcher watcher(log.fn());
    watcher.watch("/nonexistent/folder");
    ASSERT_TRUE(log.waitFor(1));
    std::lock_guard lock(log.mutex);
    EXPECT_TRUE(log.changes[0].vanished);
    EXPECT_EQ(log.changes[0].error, ENOENT);
}

// The callback usually captures its owner: once the watcher is destroyed, a report under way has
// ended and no other one starts.
TEST(DirWatcher, NoReportOnceDestroyed) {
    TempDir dir;
    std::atomic<int> started{0};
    std::atomic<bool> inside{false};
    auto watcher = std::make_unique<DirWatcher>(
        [&](const DirChange&) {
            inside = true;
            ++started;
            usleep(200 * 1000);
            inside = false;
        },
        10ms, 50ms);
    ASSERT_TRUE(watchNow(*watcher, dir.path()));
    // Another watcher on the folder, slower to report: once it has reported the second change, the
    // first watcher would have started reporting it too, were it still there.
    Log later;
    DirWatcher sentinel(later.fn(), 100ms, 500ms);
    ASSERT_TRUE(watchNow(sentinel, dir.path()));
    // Each file arrives whole, in one event, so that each is one report.
    TempDir outside;
    const auto arrive = [&](const std::string& name) {
        writeFile(outside / name, "x");
        ::rename((outside / name).c_str(), (dir / name).c_str());
    };
    arrive("one");
    ASSERT_TRUE(test::waitUntil([&] { return started != 0; }));
    ASSERT_EQ(started, 1);
    watcher.reset();
    EXPECT_FALSE(inside) << "the destructor waited for the report under way";
    ASSERT_TRUE(later.waitFor(1));  // "one"
    arrive("two");
    ASSERT_TRUE(later.waitFor(2));
    EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace kv
