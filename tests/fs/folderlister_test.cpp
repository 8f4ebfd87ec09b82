#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <condition_variable>
#include <mutex>
#include <set>

#include "fs/tempdir.h"
#include "platform/fs/folderlister.h"

namespace kv {
namespace {

using test::TempDir;
using test::writeFile;

struct Collected {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<DirEntry> entries;
    std::vector<size_t> batchSizes;
    bool done = false;
    int error = -1;
    std::string message;
};

void listAsync(const std::string& path, Collected& c) {
    FolderLister lister;
    lister.start(
        path,
        [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(c.mutex);
            c.batchSizes.push_back(batch.size());
            for (auto& e : batch) {
                c.entries.push_back(std::move(e));
            }
        },
        [&](int error, const std::string& message) {
            std::lock_guard lock(c.mutex);
            c.done = true;
            c.error = error;
            c.message = message;
            c.cv.notify_all();
        });
    std::unique_lock lock(c.mutex);
    ASSERT_TRUE(c.cv.wait_for(lock, std::chrono::seconds(30), [&] { return c.done; }));
}

TEST(FolderLister, ListsEmptyOneAndManyWithBatches) {
    for (int count : {0, 1, 5000}) {
        TempDir dir;
        for (int i = 0; i < count; ++i) {
            writeFile(dir / ("f" + std::to_string(i)), "x");
        }
        Collected c;
        listAsync(dir.path(), c);
        EXPECT_EQ(c.error, 0);
        EXPECT_EQ(c.entries.size(), static_cast<size_t>(count));
        std::set<std::string> names;
        for (const auto& e : c.entries) {
            names.insert(e.name);
        }
        EXPECT_EQ(names.size(), static_cast<size_t>(count));
        if (count == 5000) {
            ASSERT_GT(c.batchSizes.size(), 1u);
            EXPECT_LT(c.batchSizes.front(), 1000u);  // a small first batch shows rows at once
        }
    }
}

TEST(FolderLister, EntryKinds) {
    TempDir dir;
    writeFile(dir / "file.txt", "hello");
    mkdir((dir / "sub").c_str(), 0755);
    ASSERT_EQ(symlink("sub", (dir / "linkdir").c_str()), 0);
    ASSERT_EQ(symlink("file.txt", (dir / "linkfile").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir / "broken").c_str()), 0);
    writeFile(dir / ".hidden", "");
    const std::string latin1 = "caf\xE9";
    writeFile(dir / latin1, "abc");

    std::vector<DirEntry> out;
    ASSERT_EQ(FolderLister::listNow(dir.path(), out), 0);
    std::map<std::string, DirEntry> by;
    for (auto& e : out) {
        by[e.name] = e;
    }
    ASSERT_EQ(by.size(), 7u);
    EXPECT_FALSE(by["file.txt"].isDir);
    EXPECT_EQ(by["file.txt"].size, 5u);
    EXPECT_GT(by["file.txt"].mtimeNs, 0);
    EXPECT_TRUE(by["sub"].isDir);
    EXPECT_TRUE(by["linkdir"].isDir);
    EXPECT_TRUE(by["linkdir"].isSymlink);
    EXPECT_EQ(by["linkfile"].size, 5u);  // the target's size
    EXPECT_TRUE(by["broken"].isBrokenLink);
    EXPECT_FALSE(by["broken"].isDir);
    EXPECT_TRUE(by[".hidden"].hidden);
    EXPECT_EQ(by[latin1].size, 3u);
    EXPECT_FALSE(by[latin1].sortKey.empty());
}

TEST(FolderLister, UnreadableFolderReportsError) {
    TempDir dir;
    writeFile(dir / "plain", "");
    // Root reads any folder, so use what fails for everyone as well as a locked folder for others.
    std::vector<std::string> paths = {dir / "missing", dir / "plain"};
    if (geteuid() != 0) {
        mkdir((dir / "locked").c_str(), 0);
        paths.push_back(dir / "locked");
    }
    for (const auto& p : paths) {
        Collected c;
        listAsync(p, c);
        EXPECT_NE(c.error, 0) << p;
        EXPECT_FALSE(c.message.empty());
        EXPECT_TRUE(c.entries.empty());
    }
}

TEST(FolderLister, CancelStopsCallbacksAtOnce) {
    TempDir dir;
    for (int i = 0; i < 3000; ++i) {
        writeFile(dir / ("f" + std::to_string(i)), "");
    }
    std::atomic<int> calls{0};
    {
        FolderLister lister;
        lister.start(
            dir.path(), [&](std::vector<DirEntry>&&) { ++calls; }, [&](int, const std::string&) { ++calls; });
        lister.cancel();
        const int after = calls;
        usleep(200 * 1000);
        EXPECT_EQ(calls, after);
    }
}

}  // namespace
}  // namespace kv
