// A volume that stops answering (a FUSE mount whose calls never return, as a dead network share's
// do) must not freeze the window: listing it, its Properties and a copy from it run off the UI
// thread, and Cancel lets go of the copy. The mount is tests/support/stallfs.py; without FUSE (no
// /dev/fuse, no fusepy, not allowed to mount) the test is skipped.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "filemanager_support.h"
#include "platform/qt/propertiesdialog.h"

namespace kv::test {
namespace {

bool mounted(const std::string& where) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
        if (line.find(" " + where + " ") != std::string::npos) return true;
    return false;
}

// The longest time the UI thread did not answer a 10 ms timer while it waited ms: a window
// manager's ping.
double longestGap(int ms) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer ping;
    QObject::connect(&ping, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ping.start(10);
    QTest::qWait(ms);
    return static_cast<double>(std::max(longest, clock.elapsed() - last));
}

class DeadMount : public ::testing::Test {
  protected:
    ViewFixture f;
    std::string backing, mountPoint;
    pid_t server = -1;

    void SetUp() override {
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0) GTEST_SKIP() << "no FUSE here";
        ::close(fuse);
        if (std::system("/usr/bin/python3 -c 'import fusepy' 2>/dev/null") != 0) GTEST_SKIP() << "no fusepy";
        backing = f.dir / "backing";
        mountPoint = f.dir / "mnt";
        std::filesystem::create_directories(backing + "/folder/inner");
        std::filesystem::create_directories(mountPoint);
        std::filesystem::create_directories(f.dir / "dest");
        writeFile(backing + "/folder/file.txt", std::string(64 * 1024, 'x'));
        const std::string script = KV_TEST_SUPPORT_DIR "/stallfs.py";
        server = ::fork();
        if (server == 0) {
            ::execl("/usr/bin/python3", "python3", script.c_str(), backing.c_str(), mountPoint.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (!waitFor([&] { return mounted(mountPoint) || ::waitpid(server, nullptr, WNOHANG) == server; },
                     10000) ||
            !mounted(mountPoint)) {
            server = -1;
            GTEST_SKIP() << "FUSE mount not allowed here";
        }
    }

    void TearDown() override {
        release();
        if (!mountPoint.empty() && mounted(mountPoint))
            (void)!std::system(("umount -l '" + mountPoint + "' 2>/dev/null || fusermount3 -uz '" +
                                mountPoint + "' 2>/dev/null")
                                   .c_str());
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
    }

    void hang() { writeFile(backing + ".hang", ""); }
    void release() {
        if (!backing.empty()) std::filesystem::remove(backing + ".hang");
    }
};

TEST_F(DeadMount, TheWindowKeepsAnsweringAndCancelLetsGoOfACopy) {
    ASSERT_TRUE(f.show(mountPoint + "/folder"));
    EXPECT_TRUE(f.listed("file.txt"));

    hang();
    // Listing a folder of the dead volume: the view waits for it, the window does not.
    f.view->showFolder(QByteArray::fromStdString(mountPoint + "/folder/inner"));
    EXPECT_LT(longestGap(600), 500);
    // Its Properties: the facts are read off the UI thread.
    PropertiesDialog::showFor({QByteArray::fromStdString(mountPoint + "/folder")}, f.view.get());
    EXPECT_LT(longestGap(600), 500);
    // A copy from it stuck in a call: Cancel ends the job for the window within a second or so.
    f.ops->setAbandonDelay(300);
    bool done = false;
    JobResult result;
    const quint64 id =
        f.ops->copy({QByteArray::fromStdString(mountPoint + "/folder/file.txt")},
                    QByteArray::fromStdString(f.dir / "dest"), f.view.get(), [&](const JobResult& r) {
                        done = true;
                        result = r;
                    });
    QTest::qWait(200);
    f.ops->cancel(id);
    EXPECT_TRUE(waitFor([&] { return done; }, 3000));
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(longestGap(300), 500);

    // The volume answers again: nothing was left half-made in the target.
    release();
    EXPECT_TRUE(f.show(mountPoint + "/folder"));
    QTest::qWait(300);
    EXPECT_FALSE(std::filesystem::exists(f.dir / "dest/file.txt") &&
                 std::filesystem::file_size(f.dir / "dest/file.txt") != 64 * 1024);
    closeAll<PropertiesDialog>();
}

}  // namespace
}  // namespace kv::test
