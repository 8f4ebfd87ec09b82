#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "fs/faultyfsops.h"
#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/core/partialfile.h"
#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/operations/transferjob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Names in dir other than the ones given: what a failed copy left behind.
std::vector<std::string> leftovers(const std::string& dir, const std::vector<std::string>& expected) {
    std::vector<std::string> names, extra;
    FsOps().listNames(dir, names);
    for (const std::string& n : names) {
        if (std::find(expected.begin(), expected.end(), n) == expected.end()) extra.push_back(n);
    }
    return extra;
}

enum class Exit { Return, Throw, Discard, Placed };

TEST(PartialFile, GoesOnEveryWayOutUnlessPlaced) {
    struct Row {
        bool ownName;
        Exit exit;
        bool kept;
    } rows[] = {
        {true, Exit::Return, false},   {true, Exit::Throw, false},   {true, Exit::Discard, false},
        {true, Exit::Placed, true},    {false, Exit::Return, false}, {false, Exit::Throw, false},
        {false, Exit::Discard, false}, {false, Exit::Placed, true},
    };
    for (const Row& row : rows) {
        TempDir dir;
        FsOps ops;
        const std::string path = dir / "f";
        try {
            PartialFile file(ops);
            file.out = ops.createExclusive(path, 0644);
            ASSERT_GE(file.out, 0);
            row.ownName ? file.setOwnName(path) : file.setTemporaryName(path);
            ASSERT_EQ(ops.write(file.out, "data", 4), 4);
            if (row.exit == Exit::Throw) throw JobCancelled{};
            if (row.exit == Exit::Discard) {
                file.discard();
                EXPECT_FALSE(exists(path)) << "before the guard goes";
            }
            if (row.exit == Exit::Placed) file.placed();
        } catch (const JobCancelled&) {
        }
        EXPECT_EQ(exists(path), row.kept) << row.ownName << " " << static_cast<int>(row.exit);
        EXPECT_EQ(
            leftovers(dir.path(), row.kept ? std::vector<std::string>{"f"} : std::vector<std::string>{}),
            std::vector<std::string>{});
    }
}

// Another program put its own file under the name after ours was made: ours is gone, theirs stays,
// whether the guard still has its descriptor or only knows the file's identity (a close that failed).
TEST(PartialFile, NeverRemovesAFileThatTookItsName) {
    for (const bool closedFirst : {false, true}) {
        TempDir dir;
        FsOps ops;
        const std::string path = dir / "f";
        {
            PartialFile file(ops);
            file.out = ops.createExclusive(path, 0644);
            ASSERT_GE(file.out, 0);
            file.setOwnName(path);
            if (closedFirst) {
                struct stat st {};
                ASSERT_EQ(ops.fstat(file.out, st), 0);
                file.setIdentity(st);
                ops.close(std::exchange(file.out, -1));
            }
            writeFile(dir / "theirs", "theirs");
            ASSERT_EQ(::rename((dir / "theirs").c_str(), path.c_str()), 0);
        }
        EXPECT_EQ(readFile(path), "theirs") << closedFirst;
    }
}

// Each way a copy is made (own name for a small file, unnamed for a bigger one, temporary name for a
// Replace) must leave nothing behind when its close reports a delayed write error.
TEST(PartialFile, AFailingCloseLeavesNoFileOnAnyWay) {
    struct Row {
        const char* what;
        size_t size;
        bool replace;
    } rows[] = {{"own name", 1000, false}, {"unnamed", 1 << 20, false}, {"temporary name", 1000, true}};
    for (const Row& row : rows) {
        TempDir src, dst;
        writeFile(src / "f", std::string(row.size, 'x'));
        if (row.replace) writeFile(dst / "f", "old");
        auto ops = std::make_shared<test::FaultyFsOps>();
        ops->hook = [&](const std::string& op, const std::string& path) {
            return op == "close" && path.rfind(dst.path(), 0) == 0 ? -EIO : 0;
        };
        auto resolver = std::make_shared<test::ScriptedResolver>();
        resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::Replace, false}; };
        TransferJob job(TransferMode::Copy, {src / "f"}, dst.path());
        job.setOps(ops);
        job.setResolver(resolver);
        job.start();
        job.wait();
        const JobResult r = job.result();
        ASSERT_EQ(r.reports.size(), 1u) << row.what;
        EXPECT_EQ(r.reports[0].action, JobAction::Write) << row.what;
        EXPECT_EQ(r.reports[0].path, dst / "f") << row.what;
        EXPECT_EQ(r.reports[0].error, EIO) << row.what;
        EXPECT_EQ(readFile(src / "f"), std::string(row.size, 'x')) << row.what;
        EXPECT_EQ(
            leftovers(dst.path(), row.replace ? std::vector<std::string>{"f"} : std::vector<std::string>{}),
            std::vector<std::string>{})
            << row.what;
        if (row.replace) {
            EXPECT_EQ(readFile(dst / "f"), "old");
        }
    }
}

TEST(PartialFile, ACancelMidFileLeavesNothing) {
    for (const size_t size : {size_t{200000}, size_t{5} << 20}) {
        TempDir src, dst;
        writeFile(src / "f", std::string(size, 'x'));
        auto ops = std::make_shared<test::FaultyFsOps>();
        ops->chunk = 4096;
        TransferJob job(TransferMode::Copy, {src / "f"}, dst.path());
        std::atomic<int> writes{0};
        ops->hook = [&](const std::string& op, const std::string&) {
            if (op == "write" && ++writes == 3) job.cancel();
            return 0;
        };
        job.setOps(ops);
        job.start();
        job.wait();
        EXPECT_TRUE(job.result().cancelled) << size;
        EXPECT_EQ(leftovers(dst.path(), {}), std::vector<std::string>{}) << size;
    }
}

}  // namespace
}  // namespace kv
