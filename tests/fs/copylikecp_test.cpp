// A copy, and a move to another filesystem, keep what `cp -a` keeps. One tree holds every kind of
// metadata; `cp -a` and the transferLikeCp engine each take a copy, and the two are compared through the
// tools people would use to check by hand: stat, getfattr, getfacl and du.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <vector>

#include "fs/tempdir.h"
#include "platform/fs/operations/transferjob.h"

namespace kv {
namespace {

using test::TempDir;
using test::writeFile;

// Runs a shell command in dir and returns what it printed.
std::string output(const std::string& dir, const std::string& command) {
    const std::string line = "cd '" + dir + "' && " + command + " 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(line.c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
        ::pclose(p);
    }
    return out;
}

bool haveTools() {
    const std::string found = output("/", "command -v getfattr; command -v getfacl; command -v setfacl");
    return std::count(found.begin(), found.end(), '\n') == 3;
}

void setTimes(const std::string& path, time_t sec, long nsec) {
    const timespec t[2] = {{sec, nsec}, {sec, nsec}};
    ::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

// Old times with nanoseconds on everything; set again after each reading, which moves access times.
void setTreeTimes(const std::string& t) {
    for (const char* rel :
         {"docs/report.txt", "run.sh", "disk.img", "latest", "dangling", "pipe", "docs", "empty", ""})
        setTimes(t + "/" + rel, 1500000000, 123456789);
}

// The tree: modes, old times with nanoseconds, a sparse file, hard links, symbolic links (one dangling),
// a FIFO, an empty locked-down folder, user attributes and access and default ACLs.
void makeTree(const std::string& t) {
    ::mkdir(t.c_str(), 0755);
    ::mkdir((t + "/docs").c_str(), 0750);
    ::mkdir((t + "/empty").c_str(), 0700);
    writeFile(t + "/docs/report.txt", "quarterly figures\n");
    ::chmod((t + "/docs/report.txt").c_str(), 0640);
    writeFile(t + "/run.sh", "#!/bin/sh\necho hi\n");
    ::chmod((t + "/run.sh").c_str(), 0755);
    const int fd = ::open((t + "/disk.img").c_str(), O_CREAT | O_WRONLY, 0600);
    const std::string data(256 << 10, 'd');
    (void)!::pwrite(fd, data.data(), data.size(), 8 << 20);
    (void)!::ftruncate(fd, 32 << 20);
    ::close(fd);
    (void)!::link((t + "/docs/report.txt").c_str(), (t + "/report-link.txt").c_str());
    (void)!::symlink("docs/report.txt", (t + "/latest").c_str());
    (void)!::symlink("gone/nowhere", (t + "/dangling").c_str());
    ::mkfifo((t + "/pipe").c_str(), 0620);
    ::setxattr((t + "/docs/report.txt").c_str(), "user.xdg.origin.url", "https://example.org/r", 21, 0);
    ::setxattr((t + "/docs").c_str(), "user.tag", "work", 4, 0);
    output(t,
           "setfacl -m u:nobody:r docs/report.txt && setfacl -d -m g:nogroup:rx docs && "
           "setfacl -m u:nobody:rwx empty");
    setTreeTimes(t);
}

struct Views {
    std::string stat, attrs, acls;
    long long blocks = 0;
};

// A tool's report of a tree in blocks that each begin with "# file: ", in name order (the tools walk
// in the order the folders list, which differs between two copies).
std::string sortedBlocks(const std::string& report) {
    std::vector<std::string> blocks;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line.rfind("# file: ", 0) == 0 || blocks.empty()) blocks.emplace_back();
        blocks.back() += line + "\n";
    }
    std::sort(blocks.begin(), blocks.end());
    std::string out;
    for (const auto& b : blocks) out += b;
    return out;
}

// What each tool shows of the tree, with paths relative to the folder that holds it.
Views viewsOf(const std::string& parent) {
    Views v;
    // Directories' sizes depend on the filesystem's history, not on the copy, and their access times on
    // who listed them last.
    v.stat =
        output(parent,
               "find . -mindepth 1 ! -type d -exec stat -c '%n|%F|%a|%u:%g|%h|%s|%x|%y|%N' {} + | sort") +
        output(parent, "find . -mindepth 1 -type d -exec stat -c '%n|%F|%a|%u:%g|%h|%y' {} + | sort");
    v.attrs = sortedBlocks(output(parent, "getfattr -R -h -d -m '^user\\.' --absolute-names ."));
    v.acls = sortedBlocks(output(parent, "getfacl -R -P -p ."));
    std::istringstream(output(parent, "du -s -B1 .")) >> v.blocks;
    return v;
}

JobResult transferLikeCp(TransferMode mode, const std::string& source, const std::string& target) {
    TransferJob job(mode, {source}, target);
    job.start();
    job.wait();
    return job.result();
}

class CopyLikeCp : public ::testing::TestWithParam<TransferMode> {};

TEST_P(CopyLikeCp, KeepsWhatCpAKeeps) {
    if (!haveTools()) {
        GTEST_SKIP() << "getfattr / getfacl are not installed";
    }
    const bool move = GetParam() == TransferMode::Move;
    TempDir src;
    // A move keeps its metadata by hand only across filesystems; /dev/shm is another one here.
    TempDir ours(move ? "/dev/shm" : "/tmp"), theirs(move ? "/dev/shm" : "/tmp");
    makeTree(src / "t");
    // A target that can't hold user attributes makes the copy report a loss, as it should.
    writeFile(ours / "probe", "");
    const bool attrs = ::setxattr((ours / "probe").c_str(), "user.probe", "1", 1, 0) == 0;
    ::unlink((ours / "probe").c_str());
    if (!attrs) {
        GTEST_SKIP() << "the target's filesystem keeps no user attributes";
    }
    if (move && test::deviceOf(src.path()) == test::deviceOf(ours.path())) {
        GTEST_SKIP() << "one filesystem";
    }
    ASSERT_TRUE(output(src.path(), "cp -a t '" + theirs.path() + "/' && echo ok").find("ok") !=
                std::string::npos);

    setTreeTimes(src / "t");  // cp -a's reading moved the access times
    const JobResult r = transferLikeCp(GetParam(), src / "t", ours.path());
    ASSERT_TRUE(r.ok()) << (r.reports.empty() ? "" : r.reports[0].path);
    if (move) {
        EXPECT_FALSE(test::exists(src / "t"));
    }

    const Views a = viewsOf(ours.path()), b = viewsOf(theirs.path());
    ASSERT_FALSE(b.stat.empty());
    EXPECT_EQ(a.stat, b.stat) << "stat differs from cp -a";
    EXPECT_EQ(a.attrs, b.attrs) << "user attributes differ from cp -a";
    EXPECT_EQ(a.acls, b.acls) << "ACLs differ from cp -a";
    // Blocks: the holes stay holes; allow the filesystem a little slack.
    EXPECT_LE(a.blocks, b.blocks + (64 << 10)) << "the copy takes more room than cp -a's";
}

INSTANTIATE_TEST_SUITE_P(CopyAndMoveAcrossFilesystems, CopyLikeCp,
                         ::testing::Values(TransferMode::Copy, TransferMode::Move),
                         [](const auto& info) { return info.param == TransferMode::Copy ? "Copy" : "Move"; });

}  // namespace
}  // namespace kv
