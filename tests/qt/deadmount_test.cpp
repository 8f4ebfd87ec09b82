// A volume that stops answering (a FUSE mount whose calls never return, as a dead network share's
// do) must not freeze the window: listing it, its Properties, a copy from it, a drop onto its folder
// and the drive list run off the UI thread, and Cancel lets go of the copy. The mount is
// tests/support/stallfs.py; without FUSE (no /dev/fuse, no fusepy, not allowed to mount) the test is
// skipped. A hung volume is always let go: by TearDown, and by a watchdog should the UI thread block
// in spite of all this (the test then fails instead of hanging).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "filemanager_support.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/forms/drivelist.h"
#include "platform/qt/properties/propertiesdialog.h"

namespace kv::test {
namespace {

bool mounted(const std::string& where) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
        if (line.find(" " + where + " ") != std::string::npos) return true;
    return false;
}

// A window manager's ping: a 10 ms timer on the UI thread, and the longest time it went unanswered.
class Ping {
  public:
    Ping() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.elapsed() - m_last);
            m_last = m_clock.elapsed();
        });
        m_timer.start(10);
    }
    double longest() const { return static_cast<double>(std::max(m_longest, m_clock.elapsed() - m_last)); }

  private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0, m_longest = 0;
};

// The longest time the UI thread did not answer the ping while it waited ms.
double longestGap(int ms) {
    Ping ping;
    QTest::qWait(ms);
    return ping.longest();
}

// Mounts stallfs.py over a folder; the mount goes (lazily) and its server ends with the object.
struct StallMount {
    std::string mountPoint;
    pid_t server = -1;

    // False when this machine does not let us mount it.
    bool start(const std::string& backing, const std::string& where, const std::string& source = {}) {
        mountPoint = where;
        std::filesystem::create_directories(where);
        const std::string script = KV_TEST_SUPPORT_DIR "/stallfs.py";
        server = ::fork();
        if (server == 0) {
            if (source.empty())
                ::execl("/usr/bin/python3", "python3", script.c_str(), backing.c_str(), where.c_str(),
                        static_cast<char*>(nullptr));
            else
                ::execl("/usr/bin/python3", "python3", script.c_str(), backing.c_str(), where.c_str(),
                        source.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (!waitFor([&] { return mounted(where) || ::waitpid(server, nullptr, WNOHANG) == server; },
                     10000) ||
            !mounted(where)) {
            server = -1;
            return false;
        }
        return true;
    }
    ~StallMount() {
        if (!mountPoint.empty() && mounted(mountPoint))
            (void)!std::system(("umount -l '" + mountPoint + "' 2>/dev/null || fusermount3 -uz '" +
                                mountPoint + "' 2>/dev/null")
                                   .c_str());
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
    }
};

class DeadMount : public ::testing::Test {
  protected:
    ViewFixture f;
    std::string backing, mountPoint;
    std::unique_ptr<StallMount> mount;
    std::thread watchdog;
    std::mutex watchdogMutex;
    std::condition_variable watchdogWake;
    bool released = true;

    void SetUp() override {
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0) GTEST_SKIP() << "no FUSE here";
        ::close(fuse);
        if (std::system("/usr/bin/python3 -c 'import fusepy' 2>/dev/null") != 0) GTEST_SKIP() << "no fusepy";
        backing = f.dir / "backing";
        mountPoint = f.dir / "mnt";
        std::filesystem::create_directories(backing + "/folder/inner");
        std::filesystem::create_directories(f.dir / "dest");
        writeFile(backing + "/folder/file.txt", std::string(64 * 1024, 'x'));
        mount = std::make_unique<StallMount>();
        if (!mount->start(backing, mountPoint)) GTEST_SKIP() << "FUSE mount not allowed here";
    }

    void TearDown() override {
        release();
        mount.reset();
    }

    // Hangs the volume; it is let go by release(), at the latest after 10 seconds.
    void hang() {
        release();
        writeFile(backing + ".hang", "");
        released = false;
        watchdog =
            std::thread(
                [this] {
                    std::unique_lock lock(watchdogMutex);
                    if (!watchdogWake.wait_for(lock, std::chrono::seconds(10), [this] { return released; })) {
                        std::filesystem::remove(backing + ".hang");
                        ADD_FAILURE()
                            << "the volume was still hung after 10 s: a call on the UI thread waited for it";
                    }
                });
    }
    void release() {
        if (!backing.empty()) std::filesystem::remove(backing + ".hang");
        {
            std::lock_guard lock(watchdogMutex);
            released = true;
        }
        watchdogWake.notify_all();
        if (watchdog.joinable()) watchdog.join();
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

// A folder holding the dead volume's mount point (and a link into it) still lists: its other rows come
// at once, the listing ends, and the two entries show as not answering; looked at again while the volume
// hangs, they are told so without waiting again. Once it answers, they list as what they are.
TEST_F(DeadMount, AFolderHoldingItsMountPointStillLists) {
    writeFile(f.dir / "plain.txt", "here");
    ASSERT_EQ(::symlink((mountPoint + "/folder").c_str(), (f.dir / "into").c_str()), 0);
    hang();
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(f.show(f.dir.path())) << "round " << round << ": the listing ends";
        FolderModel* model = f.view->model();
        EXPECT_GE(model->rowOfName("plain.txt"), 0);
        for (const char* name : {"mnt", "into"}) {
            const int row = model->rowOfName(name);
            ASSERT_GE(row, 0) << name;
            EXPECT_TRUE(model->entryAt(row).unanswered) << name;
            EXPECT_EQ(model->index(row, FolderModel::TypeColumn).data().toString(), "Not answering");
        }
        EXPECT_LT(longestGap(100), 500);
    }
    release();
    EXPECT_TRUE(waitFor([&] {
        f.show(f.dir.path());
        const int row = f.view->model()->rowOfName("mnt");
        return row >= 0 && !f.view->model()->entryAt(row).unanswered;
    }));
}

// A slow volume (every call a quarter of a second): each row goes out as it is read, not once a batch
// fills.
TEST_F(DeadMount, ASlowVolumeGivesItsRowsAsTheyCome) {
    for (const char* name : {"a", "b", "c", "d"}) writeFile(backing + "/folder/" + name, "x");
    writeFile(backing + ".slow", "0.25");
    std::vector<size_t> batches;
    EXPECT_EQ(FolderLister::list(mountPoint + "/folder",
                                 [&](std::vector<DirEntry>&& batch) {
                                     batches.push_back(batch.size());
                                     return true;
                                 }),
              0);
    std::filesystem::remove(backing + ".slow");
    EXPECT_GE(batches.size(), 4u);
}

// Files dropped onto a pane that shows a folder of the dead volume: whether they move or copy is told
// by the mount table, and the copy is a job that waits for the volume, not the window.
TEST_F(DeadMount, ADropOntoItsFolderKeepsTheWindowAnswering) {
    writeFile(f.dir / "local.txt", "here");
    ASSERT_TRUE(f.show(mountPoint + "/folder"));
    EXPECT_TRUE(f.listed("file.txt"));
    hang();
    std::unique_ptr<QMimeData> data(
        ClipboardFormat::toMimeData({QByteArray::fromStdString(f.dir / "local.txt")}, false));
    QWidget* viewport = f.view->currentView()->viewport();
    const QPoint at = viewport->rect().bottomRight() - QPoint(5, 5);
    QElapsedTimer took;
    took.start();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_LT(took.elapsed(), 500);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "another volume: a copy";
    EXPECT_LT(longestGap(800), 500);

    // The job still waits for the volume; stopped and let go, it leaves the source as it was.
    f.ops->stopAll(std::chrono::milliseconds(0));
    release();
    EXPECT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "local.txt"), "here");
}

// The drive list while a volume hangs: a new list (a window opening) and a volume mounted meanwhile
// whose source is a file on the dead volume (as a program showing an image names it). Neither may
// make the window wait for the dead volume, and the new volume still shows up in the list.
TEST_F(DeadMount, TheDriveListFollowsMountsWhileAVolumeHangs) {
    hang();
    QElapsedTimer took;
    took.start();
    DriveList list;
    list.show();
    EXPECT_LT(took.elapsed(), 500);
    EXPECT_TRUE(list.drive().endsWith("[Home]")) << "a new list selects the home folder";
    EXPECT_LT(longestGap(600), 500);

    const std::string otherBacking = f.dir / "other";
    std::filesystem::create_directories(otherBacking);
    StallMount other;
    ASSERT_TRUE(other.start(otherBacking, f.dir / "image", mountPoint + "/folder/file.txt"));
    const QString entry = QString::fromStdString(other.mountPoint + " [image]");
    Ping ping;
    EXPECT_TRUE(waitFor([&] { return list.findText(entry) >= 0; })) << entry.toStdString();
    EXPECT_LT(ping.longest(), 500);
    EXPECT_TRUE(list.drive().endsWith("[Home]")) << "the selection stays";
}

}  // namespace
}  // namespace kv::test
