#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "fs/tempdir.h"
#include "platform/fs/dirwatcher.h"

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
    bool waitFor(size_t n, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, timeout, [&] { return changes.size() >= n; });
    }
};

TEST(DirWatcher, ReportsNamesOfAQuietChange) {
    TempDir dir;
    Log log;
    DirWatcher watcher(log.fn(), 50ms, 300ms);
    watcher.watch(dir.path());
    usleep(100 * 1000);  // the watch is added on the watcher's thread
    writeFile(dir / "new.txt", "x");
    ASSERT_TRUE(log.waitFor(1));
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.changes[0].path, dir.path());
    EXPECT_FALSE(log.changes[0].vanished);
    EXPECT_EQ(log.changes[0].names, std::vector<std::string>{"new.txt"});
}

TEST(DirWatcher, CoalescesABurst) {
    TempDir dir;
    Log log;
    DirWatcher watcher(log.fn(), 100ms, 2000ms);
    watcher.watch(dir.path());
    usleep(100 * 1000);
    for (int i = 0; i < 10000; ++i) {
        ::close(::creat((dir / ("f" + std::to_string(i))).c_str(), 0644));
    }
    ASSERT_TRUE(log.waitFor(1));
    usleep(400 * 1000);
    std::lock_guard lock(log.mutex);
    // A burst that takes a few seconds to write (longer on a loaded machine) may be cut by the
    // latest-delay rule a few times; what matters is that 10,000 changes become a handful, and that a
    // change too big to list names asks for a full reload.
    EXPECT_LE(log.changes.size(), 50u);
    bool reload = false;
    for (const auto& c : log.changes) reload = reload || c.reloadAll;
    EXPECT_TRUE(reload);
}

TEST(DirWatcher, ReportsVanishedFolderAndNonRecursive) {
    TempDir dir;
    mkdir((dir / "shown").c_str(), 0755);
    mkdir((dir / "shown/sub").c_str(), 0755);
    Log log;
    DirWatcher watcher(log.fn(), 30ms, 200ms);
    watcher.watch(dir / "shown");
    usleep(100 * 1000);
    writeFile(dir / "shown/sub/deep", "");  // below the shown folder: not reported
    usleep(150 * 1000);
    {
        std::lock_guard lock(log.mutex);
        EXPECT_TRUE(log.changes.empty());
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
    watcher->watch(dir.path());
    usleep(100 * 1000);
    writeFile(dir / "one", "x");
    for (int k = 0; k < 500 && started == 0; ++k) usleep(10 * 1000);
    ASSERT_EQ(started, 1);
    watcher.reset();
    EXPECT_FALSE(inside) << "the destructor waited for the report under way";
    writeFile(dir / "two", "x");
    usleep(300 * 1000);
    EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace kv
