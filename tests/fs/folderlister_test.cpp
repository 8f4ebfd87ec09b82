#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

#include "fs/tempdir.h"
#include "fs/threadcount.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/listing/folderlistingsource.h"

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
    FolderListingSource source(path);
    source.start(
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

TEST(FolderListingSource, CancelStopsCallbacksAtOnce) {
    TempDir dir;
    for (int i = 0; i < 3000; ++i) {
        writeFile(dir / ("f" + std::to_string(i)), "");
    }
    std::atomic<int> calls{0};
    std::thread([] {}).join();  // a sanitizer's own thread, if any, comes with the first one
    const int before = test::threadCount();
    {
        FolderListingSource source(dir.path());
        source.start([&](std::vector<DirEntry>&&) { ++calls; }, [&](int, const std::string&) { ++calls; });
        source.refreshNames({"f1", "f2"},
                            [&](int, std::vector<DirEntry>&&, std::vector<std::string>&&) { ++calls; });
        source.cancel();
        const int after = calls;
        // Once the listing's threads have ended, anything late would have been called.
        EXPECT_TRUE(test::waitForThreads(before));
        EXPECT_EQ(calls, after);
    }
}

// Looking at some names again fills each entry as the listing does; what is not there is gone.
TEST(FolderLister, StatNamesFindsWhatExistsAsTheListingDoes) {
    TempDir dir;
    writeFile(dir / "a.txt", "four");
    mkdir((dir / "sub").c_str(), 0755);
    ASSERT_EQ(symlink("a.txt", (dir / "link").c_str()), 0);
    std::vector<DirEntry> listed;
    ASSERT_EQ(FolderLister::listNow(dir.path(), listed), 0);

    std::vector<DirEntry> found;
    std::vector<std::string> gone;
    ASSERT_EQ(
        FolderLister::statNames(dir.path(), {"a.txt", "missing", "sub", "link", "x/y", ".."}, found, gone),
        0);
    ASSERT_EQ(found.size(), 3u);
    for (const DirEntry& f : found) {
        auto it =
            std::find_if(listed.begin(), listed.end(), [&](const DirEntry& e) { return e.name == f.name; });
        ASSERT_NE(it, listed.end()) << f.name;
        EXPECT_EQ(f.size, it->size) << f.name;
        EXPECT_EQ(f.mtimeNs, it->mtimeNs) << f.name;
        EXPECT_EQ(f.isDir, it->isDir) << f.name;
        EXPECT_EQ(f.isSymlink, it->isSymlink) << f.name;
        EXPECT_EQ(f.sortKey, it->sortKey) << f.name;
    }
    EXPECT_EQ(gone, (std::vector<std::string>{"missing", "x/y", ".."}));

    found.clear();
    gone.clear();
    EXPECT_EQ(FolderLister::statNames(dir / "nowhere", {"a.txt"}, found, gone), ENOENT);
}

TEST(FolderListingSource, RefreshNamesReportsFoundAndGone) {
    TempDir dir;
    writeFile(dir / "here", "12");
    FolderListingSource source(dir.path());
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::vector<DirEntry> found;
    std::vector<std::string> gone;
    source.refreshNames({"here", "gone"},
                        [&](int error, std::vector<DirEntry>&& f, std::vector<std::string>&& g) {
                            std::lock_guard lock(mutex);
                            EXPECT_EQ(error, 0);
                            found = std::move(f);
                            gone = std::move(g);
                            done = true;
                            cv.notify_all();
                        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; }));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "here");
    EXPECT_EQ(found[0].size, 2u);
    EXPECT_EQ(gone, std::vector<std::string>{"gone"});
}

}  // namespace
}  // namespace kv
