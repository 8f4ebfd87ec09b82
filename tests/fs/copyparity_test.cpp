// A copy keeps what `cp -a` keeps: holes, hard links inside the tree, extended attributes, the contents
// of pseudo-files; a folder reached through another path (a bind mount) is still the same folder; and
// names made free for "Keep Both" stay valid UTF-8 of at most NAME_MAX bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "fs/faultyfsops.h"
#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/operations/transferjob.h"

namespace kv {
namespace {

using test::readFile;
using test::ScriptedResolver;
using test::TempDir;
using test::writeFile;

JobResult copyInto(std::vector<std::string> sources, const std::string& target,
                   std::shared_ptr<JobResolver> resolver = nullptr) {
    TransferJob job(TransferMode::Copy, std::move(sources), target);
    job.setResolver(std::move(resolver));
    job.start();
    job.wait();
    return job.result();
}

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

TEST(CopyParity, HolesStayHoles) {
    TempDir src, dst;
    const std::string file = src / "disk.img";
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const std::string data(1 << 20, 'd');
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), 10 << 20), static_cast<ssize_t>(data.size()));
    ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
    ::close(fd);
    if (statOf(file).st_blocks * 512 >= (64 << 20)) GTEST_SKIP() << "this filesystem keeps no holes";

    const JobResult r = copyInto({file}, dst.path());
    ASSERT_TRUE(r.ok());
    const struct stat copy = statOf(dst / "disk.img");
    EXPECT_EQ(copy.st_size, 64 << 20);
    EXPECT_LE(copy.st_blocks * 512, 4 << 20) << "the holes were filled in";
    EXPECT_EQ(readFile(dst / "disk.img"), readFile(file));
}

TEST(CopyParity, HardLinksInsideTheTreeStayLinks) {
    TempDir src, dst;
    ::mkdir((src / "t").c_str(), 0755);
    ::mkdir((src / "t/sub").c_str(), 0755);
    writeFile(src / "t/a", "shared");
    ASSERT_EQ(::link((src / "t/a").c_str(), (src / "t/b").c_str()), 0);
    ASSERT_EQ(::link((src / "t/a").c_str(), (src / "t/sub/c").c_str()), 0);
    writeFile(src / "t/alone", "own");

    const JobResult r = copyInto({src / "t"}, dst.path());
    ASSERT_TRUE(r.ok());
    const struct stat a = statOf(dst / "t/a");
    EXPECT_EQ(a.st_nlink, 3u);
    EXPECT_EQ(statOf(dst / "t/b").st_ino, a.st_ino);
    EXPECT_EQ(statOf(dst / "t/sub/c").st_ino, a.st_ino);
    EXPECT_NE(statOf(dst / "t/alone").st_ino, a.st_ino);
    EXPECT_EQ(readFile(dst / "t/sub/c"), "shared");
    EXPECT_EQ(statOf(src / "t/a").st_nlink, 3u) << "the source's links are untouched";
}

TEST(CopyParity, ExtendedAttributesOfFilesAndFoldersAreKept) {
    TempDir src, dst;
    ::mkdir((src / "d").c_str(), 0755);
    writeFile(src / "d/f", "x");
    if (::setxattr((src / "d/f").c_str(), "user.origin", "camera", 6, 0) != 0)
        GTEST_SKIP() << "no user attributes on this filesystem";
    ASSERT_EQ(::setxattr((src / "d").c_str(), "user.tag", "holiday", 7, 0), 0);

    const JobResult r = copyInto({src / "d"}, dst.path());
    ASSERT_TRUE(r.ok()) << (r.reports.empty() ? "" : r.reports[0].path);
    char value[32] = {};
    ASSERT_EQ(::getxattr((dst / "d/f").c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "camera");
    ASSERT_EQ(::getxattr((dst / "d").c_str(), "user.tag", value, sizeof value), 7);
    EXPECT_EQ(std::string(value, 7), "holiday");
}

TEST(CopyParity, PseudoFilesAreReadToTheirEnd) {
    if (statOf("/proc/version").st_size != 0) GTEST_SKIP() << "no pseudo-files here";
    TempDir dst;
    const JobResult r = copyInto({"/proc/version"}, dst.path());
    ASSERT_TRUE(r.ok()) << (r.reports.empty() ? "" : r.reports[0].path);
    const std::string copy = readFile(dst / "version");
    EXPECT_FALSE(copy.empty());
    EXPECT_EQ(copy, readFile("/proc/version"));
}

TEST(CopyParity, AFolderIsNotCopiedIntoItselfThroughABindMount) {
    TempDir dir;
    ::mkdir((dir / "a").c_str(), 0755);
    ::mkdir((dir / "a/sub").c_str(), 0755);
    ::mkdir((dir / "view").c_str(), 0755);
    if (::mount((dir / "a").c_str(), (dir / "view").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here";
    auto resolver = std::make_shared<ScriptedResolver>();
    const JobResult r = copyInto({dir / "a"}, dir / "view/sub", resolver);
    ::umount2((dir / "view").c_str(), MNT_DETACH);
    ASSERT_EQ(resolver->errors.size(), 1u);
    EXPECT_EQ(resolver->errors[0].report.problem, JobProblem::IntoItself);
    EXPECT_FALSE(test::exists(dir / "a/sub/a"));
}

TEST(CopyParity, ASourceReplacedByAFifoIsRefusedNotWaitedFor) {
    TempDir src, dst;
    writeFile(src / "f", "data");
    writeFile(src / "g", "more");
    auto ops = std::make_shared<test::FaultyFsOps>();
    ops->hook = [&](const std::string& op, const std::string& path) {
        if (op == "openRead" && path == src / "f") {
            ::unlink(path.c_str());
            ::mkfifo(path.c_str(), 0644);  // after the job counted a file there
        }
        return 0;
    };
    auto resolver = std::make_shared<ScriptedResolver>();
    TransferJob job(TransferMode::Copy, {src / "f", src / "g"}, dst.path());
    job.setOps(ops);
    job.setResolver(resolver);
    job.start();
    job.wait();
    ASSERT_EQ(resolver->errors.size(), 1u);
    EXPECT_EQ(resolver->errors[0].report.problem, JobProblem::Changed);
    EXPECT_FALSE(test::exists(dst / "f")) << "no partial or empty copy";
    EXPECT_EQ(readFile(dst / "g"), "more");
}

TEST(FreeName, ShortensLongNamesOnCharacterBoundaries) {
    std::string accented;
    while (accented.size() < 250) accented += "\xC3\xA9";  // é
    const auto never = [](const std::string&) { return false; };
    const struct {
        std::string name;
        bool isDir;
    } rows[] = {{accented + ".txt", false},
                {accented, true},
                {"a" + accented, false},
                {"x." + std::string(250, 'e'), false}};
    for (const auto& row : rows) {
        const std::string free = paths::freeName(row.name, row.isDir, never);
        EXPECT_LE(free.size(), 255u);
        EXPECT_TRUE(paths::isValidName(free));
        EXPECT_NE(free.find(" (2)"), std::string::npos) << free;
        // Valid UTF-8: every continuation byte follows a lead byte or another continuation byte.
        for (size_t k = 0; k < free.size(); ++k) {
            if ((static_cast<unsigned char>(free[k]) & 0xC0) == 0x80) {
                ASSERT_GT(k, 0u);
                EXPECT_TRUE(static_cast<unsigned char>(free[k - 1]) >= 0xC0 ||
                            (static_cast<unsigned char>(free[k - 1]) & 0xC0) == 0x80)
                    << free;
            }
            if (static_cast<unsigned char>(free[k]) == 0xC3) {
                ASSERT_LT(k + 1, free.size());
                EXPECT_EQ(static_cast<unsigned char>(free[k + 1]) & 0xC0, 0x80) << "a character cut in two";
            }
        }
    }
}

}  // namespace
}  // namespace kv
