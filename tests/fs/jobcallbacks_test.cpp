#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fs/faultyfsops.h"
#include "fs/tempdir.h"
#include "fs/waituntil.h"
#include "platform/fs/operations/transferjob.h"

namespace kv {
namespace {

using test::TempDir;
using test::writeFile;

// A job abandoned mid-way (its window closed) goes on cleaning up on its own thread; nothing its
// callbacks captured may be touched from the moment the handle is gone.
TEST(JobCallbacks, NoneRunsOnceTheHandleIsGone) {
    TempDir src, dst;
    mkdir((src / "many").c_str(), 0755);
    for (int i = 0; i < 200; ++i) writeFile(src / "many/f" + std::to_string(i), std::string(100, 'x'));
    auto ops = std::make_shared<test::FaultyFsOps>();
    std::atomic<int> writes{0};
    ops->hook = [&](const std::string& op, const std::string&) {
        if (op == "write") {
            ++writes;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return 0;
    };
    std::atomic<bool> gone{false}, calledAfter{false};
    std::atomic<int> progress{0};
    {
        TransferJob job(TransferMode::Copy, {src / "many"}, dst.path());
        job.setOps(ops);
        job.onProgress([&](const JobProgress&) {
            if (gone) calledAfter = true;
            ++progress;
        });
        job.onFinished([&](const JobResult&) {
            if (gone) calledAfter = true;
        });
        job.start();
        ASSERT_TRUE(test::waitUntil([&] { return writes >= 20; }));
    }
    gone = true;
    // The job's thread holds the ops until it ends.
    EXPECT_TRUE(test::waitUntil([&] { return ops.use_count() == 1; })) << "the job's thread ended";
    EXPECT_GT(progress.load(), 0);
    EXPECT_FALSE(calledAfter);
}

}  // namespace
}  // namespace kv
