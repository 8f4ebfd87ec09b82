#include <sys/time.h>
#include <unistd.h>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <atomic>

#include "filemanager_support.h"
#include "fs/faultyfsops.h"
#include "platform/fs/operations/transferjob.h"
#include "platform/qt/jobs/clashdialog.h"
#include "platform/qt/jobs/errordialog.h"
#include "platform/qt/jobs/progresswindow.h"

namespace kv::test {
namespace {

class FileManagerJobs : public ::testing::Test {
  protected:
    static constexpr int kProgressDelay = 50;
    ViewFixture f;
    void SetUp() override {
        f.ops->setProgressDelay(kProgressDelay);
        ::mkdir((f.dir / "src").c_str(), 0755);
        ::mkdir((f.dir / "dest").c_str(), 0755);
    }
    void TearDown() override {
        closeAll<ClashDialog>();
        closeAll<ErrorDialog>();
    }
    static QByteArray raw(const std::string& s) { return QByteArray::fromStdString(s); }
    template <typename T>
    T* waitDialog() {
        T* d = nullptr;
        EXPECT_TRUE(waitFor([&] { return (d = findTopLevel<T>()) != nullptr; }));
        return d;
    }
    // Waits until a job started before now is past the moment its progress window would come up: a
    // timer started now with twice the delay fires after the job's own.
    bool pastProgressDelay() {
        bool fired = false;
        QTimer::singleShot(2 * kProgressDelay, Qt::PreciseTimer, [&] { fired = true; });
        return waitFor([&] { return fired; });
    }
    static void click(QWidget* dialog, const char* name) {
        auto* b = dialog->findChild<QPushButton*>(name);
        ASSERT_TRUE(b) << name;
        b->click();
    }
};

TEST_F(FileManagerJobs, AClashIsAskedWithBothFilesAndTheJobWaitsWithoutBlocking) {
    writeFile(f.dir / "src/a.txt", "12345");
    writeFile(f.dir / "dest/a.txt", "123");
    const quint64 job = f.ops->copy({raw(f.dir / "src/a.txt")}, raw(f.dir / "dest"), f.view.get());
    ClashDialog* d = waitDialog<ClashDialog>();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->findChild<QLabel*>("existing")->text().contains("3 B,"))
        << d->findChild<QLabel*>("existing")->text().toStdString();
    EXPECT_TRUE(d->findChild<QLabel*>("incoming")->text().contains("5 B,"));
    // The UI thread runs on while the job waits, but no progress window comes up to cover the question;
    // it comes once the question is answered, if the job still runs by then.
    ASSERT_TRUE(pastProgressDelay());
    EXPECT_EQ(f.ops->progressWindow(job), nullptr);
    EXPECT_TRUE(d->isVisible());
    click(d, "keepBoth");
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "dest/a.txt"), "123");
    EXPECT_EQ(readFile(f.dir / "dest/a (2).txt"), "12345");
    EXPECT_FALSE(findTopLevel<ProgressWindow>()) << "the progress window goes with its job";
}

TEST_F(FileManagerJobs, ApplyToAllAnswersTheLaterClashes) {
    for (const char* n : {"x", "y", "z"}) {
        writeFile(f.dir / "src/" + n, "new");
        writeFile(f.dir / "dest/" + n, "old");
    }
    f.ops->move({raw(f.dir / "src/x"), raw(f.dir / "src/y"), raw(f.dir / "src/z")}, raw(f.dir / "dest"),
                f.view.get());
    ClashDialog* d = waitDialog<ClashDialog>();
    ASSERT_TRUE(d);
    d->findChild<QCheckBox*>("applyToAll")->setChecked(true);
    click(d, "replace");
    ASSERT_TRUE(f.idle());
    for (const char* n : {"x", "y", "z"}) {
        EXPECT_EQ(readFile(f.dir / "dest/" + n), "new") << n;
        EXPECT_FALSE(exists(f.dir / "src/" + n)) << n;
    }
}

TEST_F(FileManagerJobs, CancelInTheQuestionEndsTheJobKeepsTheSourceAndSaysNothingTwice) {
    writeFile(f.dir / "src/a.txt", "mine");
    writeFile(f.dir / "dest/a.txt", "theirs");
    f.ops->move({raw(f.dir / "src/a.txt")}, raw(f.dir / "dest"), f.view.get());
    ClashDialog* d = waitDialog<ClashDialog>();
    ASSERT_TRUE(d);
    click(d, "cancel");
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "src/a.txt"), "mine");
    EXPECT_EQ(readFile(f.dir / "dest/a.txt"), "theirs");
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join("\n").toStdString();
}

TEST_F(FileManagerJobs, AQuestionAskedWhileTheProgressWindowShowsIsInFrontOfIt) {
    writeFile(f.dir / "src/flaky", "data");
    auto ops = std::make_shared<FaultyFsOps>();
    auto windowShown = std::make_shared<std::atomic<bool>>(false);
    ops->hook = [windowShown](const std::string& op, const std::string& path) {
        if (op != "openRead" || path.find("flaky") == std::string::npos) return 0;
        // Slow until the progress window shows (or for 15 s at most).
        for (int k = 0; k < 15'000 && !*windowShown; ++k) ::usleep(1'000);
        return -EIO;
    };
    auto job = std::make_unique<TransferJob>(TransferMode::Copy,
                                             std::vector<std::string>{f.dir / "src/flaky"}, f.dir / "dest");
    job->setOps(ops);
    const quint64 id = f.ops->run(std::move(job), "copy", f.view.get(), true, {});
    const bool shown = waitFor([&] { return f.ops->progressWindow(id) != nullptr; });
    *windowShown = true;
    ASSERT_TRUE(shown) << "the job ran long enough for its window";
    ErrorDialog* d = waitDialog<ErrorDialog>();
    ASSERT_TRUE(d);
    ProgressWindow* w = f.ops->progressWindow(id);
    ASSERT_TRUE(w);
    EXPECT_EQ(d->parentWidget(), w) << "a question is a child of the progress window, so it stays in front";
    EXPECT_TRUE(w->findChild<QLabel*>("waiting")->isVisible());
    click(d, "cancel");
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << "the answered error is not reported again";
}

// A job blocked in a call that never returns (a dead mount) is let go after Cancel: the window is
// free, the job reported stopped with the item it was stuck on, and its thread ends whenever the call
// does, without a word.
TEST_F(FileManagerJobs, CancelLetsGoOfAJobStuckInACallThatNeverReturns) {
    writeFile(f.dir / "src/stuck", "data");
    auto ops = std::make_shared<FaultyFsOps>();
    auto released = std::make_shared<std::atomic<bool>>(false);
    auto entered = std::make_shared<std::atomic<bool>>(false);
    ops->hook = [released, entered](const std::string& op, const std::string& path) {
        if (op != "openRead" || path.find("stuck") == std::string::npos) return 0;
        // Posted after the job's report of what it works on, so it arrives after that report.
        QMetaObject::invokeMethod(
            qApp, [entered] { *entered = true; }, Qt::QueuedConnection);
        while (!*released) ::usleep(2'000);
        return 0;
    };
    auto job = std::make_unique<TransferJob>(TransferMode::Copy,
                                             std::vector<std::string>{f.dir / "src/stuck"}, f.dir / "dest");
    job->setOps(ops);
    f.ops->setAbandonDelay(300);
    bool done = false;
    JobResult result;
    const quint64 id = f.ops->run(std::move(job), "copy", f.view.get(), true, [&](const JobResult& r) {
        done = true;
        result = r;
    });
    ASSERT_TRUE(waitFor([&] { return entered->load(); }));
    f.ops->cancel(id);
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.reports.size(), 1u);
    EXPECT_EQ(result.reports[0].problem, JobProblem::NotAnswering);
    EXPECT_EQ(f.ops->progressWindow(id), nullptr);
    ASSERT_EQ(f.reports.size(), 1);
    *released = true;  // the call returns at last: the job ends quietly, leaving no partial file
    // Its thread holds the ops until it ends; whatever it posted before then has run once a later post
    // has.
    ASSERT_TRUE(waitFor([&] { return ops.use_count() == 1; }));
    bool flushed = false;
    QMetaObject::invokeMethod(
        qApp, [&] { flushed = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(waitFor([&] { return flushed; }));
    EXPECT_EQ(f.reports.size(), 1);
    EXPECT_FALSE(exists(f.dir / "dest/stuck"));
}

TEST_F(FileManagerJobs, SkippedErrorsAnsweredOnceAreNotRepeatedButUnaskedOnesAreReported) {
    for (const char* n : {"bad1", "bad2", "bad3"}) writeFile(f.dir / "src/" + n, "x");
    auto ops = std::make_shared<FaultyFsOps>();
    ops->hook = [&](const std::string& op, const std::string& path) {
        return op == "openRead" && path.find("bad") != std::string::npos ? -EIO : 0;
    };
    auto job = std::make_unique<TransferJob>(
        TransferMode::Copy,
        std::vector<std::string>{f.dir / "src/bad1", f.dir / "src/bad2", f.dir / "src/bad3"}, f.dir / "dest");
    job->setOps(ops);
    f.ops->run(std::move(job), "copy", f.view.get(), true, {});
    ErrorDialog* d = waitDialog<ErrorDialog>();
    ASSERT_TRUE(d);
    // The job takes its sources in an order of its own: the one it asked about is the one not reported.
    QString asked;
    for (const QLabel* label : d->findChildren<QLabel*>())
        for (const char* n : {"bad1", "bad2", "bad3"})
            if (label->text().contains(n)) asked = n;
    ASSERT_FALSE(asked.isEmpty());
    d->findChild<QCheckBox*>("skipAll")->setChecked(true);
    click(d, "skip");
    ASSERT_TRUE(f.idle());
    ASSERT_EQ(f.reports.size(), 1);
    for (const char* n : {"bad1", "bad2", "bad3"})
        EXPECT_EQ(f.reports[0].contains(n), asked != n)
            << n << " asked about " << asked.toStdString() << ":\n"
            << f.reports[0].toStdString();
}

TEST_F(FileManagerJobs, ARenameThatWaitsForAnAnswerShowsNoProgressWindow) {
    writeFile(f.dir / "src/a", "1");
    writeFile(f.dir / "src/b", "2");
    const quint64 id = f.ops->rename(raw(f.dir / "src/a"), "b", f.view.get());
    ASSERT_TRUE(waitFor([&] {
        return findTopLevel<ClashDialog>() || findTopLevel<ErrorDialog>() || f.ops->runningJobs() == 0;
    }));
    ASSERT_TRUE(pastProgressDelay());
    EXPECT_EQ(f.ops->progressWindow(id), nullptr);
    if (auto* d = findTopLevel<ClashDialog>()) click(d, "skip");
    if (auto* d = findTopLevel<ErrorDialog>()) click(d, "skip");
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "src/b"), "2");
}

TEST_F(FileManagerJobs, AnErrorOffersRetry) {
    writeFile(f.dir / "src/flaky", "data");
    auto ops = std::make_shared<FaultyFsOps>();
    std::atomic<int> failures{1};
    ops->hook = [&](const std::string& op, const std::string& path) {
        return op == "openRead" && path.find("flaky") != std::string::npos && failures-- > 0 ? -EIO : 0;
    };
    auto job = std::make_unique<TransferJob>(TransferMode::Copy,
                                             std::vector<std::string>{f.dir / "src/flaky"}, f.dir / "dest");
    job->setOps(ops);
    f.ops->run(std::move(job), "copy", f.view.get(), true, {});
    ErrorDialog* d = waitDialog<ErrorDialog>();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->findChild<QPushButton*>("retry"));
    click(d, "retry");
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "dest/flaky"), "data");
    EXPECT_TRUE(f.reports.isEmpty());
}

TEST_F(FileManagerJobs, JobsStoppedBeforeTheProgramEndsLeaveNothingHalfMade) {
    writeFile(f.dir / "src/big", std::string(4 << 20, 'b'));
    auto ops = std::make_shared<FaultyFsOps>();
    ops->chunk = 64 * 1024;
    ops->hook = [](const std::string& op, const std::string&) {
        if (op == "write") ::usleep(20'000);  // slow enough to be caught in the middle
        return 0;
    };
    auto job = std::make_unique<TransferJob>(TransferMode::Copy, std::vector<std::string>{f.dir / "src/big"},
                                             f.dir / "dest");
    job->setOps(ops);
    f.ops->run(std::move(job), "Copying “big” to “dest”", f.view.get(), true, {});
    ASSERT_TRUE(waitFor([&] {
        const QStringList texts = f.ops->runningJobTexts();
        return !texts.isEmpty() && texts[0].contains('%') && !texts[0].contains("(0%)");
    })) << f.ops->runningJobTexts().join(", ").toStdString();
    f.ops->stopAll(std::chrono::seconds(5));
    EXPECT_EQ(readFile(f.dir / "src/big").size(), size_t{4} << 20) << "the source is whole";
    std::vector<std::string> names;
    FsOps().listNames(f.dir / "dest", names);
    EXPECT_TRUE(names.empty()) << names.front();
}

TEST(FileManagerProgress, ShowsCountsAndTimeLeft) {
    struct Row {
        double seconds;
        const char* text;
    } rows[] = {
        {0.2, "1 s left"}, {42, "42 s left"}, {61, "2 min left"}, {3600 + 120, "1 h 2 min left"}, {-1, ""}};
    for (const Row& r : rows)
        EXPECT_EQ(ProgressWindow::timeLeftText(r.seconds), QString::fromUtf8(r.text)) << r.seconds;

    ProgressWindow w("Copying");
    JobProgress p;
    w.update(p);
    EXPECT_TRUE(w.findChild<QLabel*>("items")->text().contains("Counting"));
    p.totalsKnown = true;
    p.itemsTotal = 10;
    p.itemsDone = 3;
    p.bytesTotal = 1000;
    p.bytesDone = 300;
    w.update(p);
    EXPECT_EQ(w.findChild<QLabel*>("items")->text(), "3 of 10 items");
    EXPECT_TRUE(w.findChild<QLabel*>("bytes")->text().contains("300 B of "));
    bool paused = false;
    QObject::connect(&w, &ProgressWindow::pauseRequested, [&](bool on) { paused = on; });
    w.findChild<QPushButton*>("pause")->click();
    EXPECT_TRUE(paused);
}

}  // namespace
}  // namespace kv::test
