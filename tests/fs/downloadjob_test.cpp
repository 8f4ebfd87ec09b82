#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "fs/waituntil.h"
#include "platform/fs/downloads/downloadfeed.h"
#include "platform/fs/downloads/downloadjob.h"
#include "platform/fs/downloads/downloadname.h"
#include "platform/fs/operations/undojob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::waitUntil;
using test::writeFile;

std::string attribute(const std::string& path, const char* name) {
    char value[1024];
    const ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? std::string() : std::string(value, static_cast<size_t>(n));
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    FsOps().listNames(dir, names);
    std::sort(names.begin(), names.end());
    return names;
}

// Stands in for the web engine: writes the partial file in steps and reports as it goes, records what
// the job asks of it, and on a cancel stops and removes what it wrote, as the engine does.
class FakeEngine {
  public:
    FakeEngine()
        : feed(std::make_shared<DownloadFeed>([this](DownloadFeed::Command c) {
              std::lock_guard lock(m_mutex);
              m_commands.push_back(c);
              if (c != DownloadFeed::Command::Cancel) return;
              feed->ended(DownloadFeed::State::Cancelled);
              if (!m_path.empty()) ::unlink(m_path.c_str());
          })) {}

    void write(const std::string& path, const std::string& data, int steps = 4) {
        for (int k = 1; k <= steps; ++k) {
            std::lock_guard lock(m_mutex);
            if (feed->snapshot().state != DownloadFeed::State::Running) return;
            m_path = path;
            const size_t end = data.size() * static_cast<size_t>(k) / static_cast<size_t>(steps);
            writeFile(path, data.substr(0, end));
            feed->progressed(end, static_cast<std::int64_t>(data.size()));
        }
    }
    std::vector<DownloadFeed::Command> commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }

    std::shared_ptr<DownloadFeed> feed;

  private:
    std::mutex m_mutex;
    std::string m_path;
    std::vector<DownloadFeed::Command> m_commands;
};

DownloadTarget targetIn(const TempDir& dir, const std::string& name) {
    DownloadTarget t;
    t.folder = dir.path();
    t.name = name;
    t.partial = DownloadJob::partialIn(dir.path());
    t.originUrl = "http://127.0.0.1/files/" + name;
    t.referrerUrl = "http://127.0.0.1/page";
    return t;
}

TEST(DownloadJob, TakesItsNameOnlyWhenCompleteAndRecordsItsOrigin) {
    TempDir dir;
    FakeEngine engine;
    DownloadTarget t = targetIn(dir, "report.pdf");
    DownloadJob job(t, engine.feed);
    job.start();
    const std::string data(300000, 'x');
    engine.write(t.partial, data);
    EXPECT_FALSE(exists(dir / "report.pdf"));  // written, not yet complete
    engine.feed->ended(DownloadFeed::State::Completed);
    job.wait();
    const JobResult r = job.result();
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"report.pdf"});
    EXPECT_EQ(readFile(dir / "report.pdf"), data);
    EXPECT_EQ(job.progress().bytesDone, data.size());
    EXPECT_EQ(r.undo.kind, UndoInfo::Kind::Download);
    EXPECT_EQ(r.undo.created, std::vector<std::string>{dir / "report.pdf"});
    if (attribute(dir / "report.pdf", "user.xdg.origin.url").empty())
        GTEST_SKIP() << "this filesystem holds no user attributes";
    EXPECT_EQ(attribute(dir / "report.pdf", "user.xdg.origin.url"), t.originUrl);
    EXPECT_EQ(attribute(dir / "report.pdf", "user.xdg.referrer.url"), t.referrerUrl);
}

TEST(DownloadJob, AClashIsAskedAtOnceAndAnsweredAsForACopy) {
    struct Row {
        ClashChoice choice;
        std::vector<std::string> names;
        std::string atName;  // what "a.txt" holds afterwards
        bool downloadGoesOn;
    } rows[] = {
        {ClashChoice::KeepBoth, {"a (2).txt", "a.txt"}, "old", true},
        {ClashChoice::Replace, {"a.txt"}, "new", true},
        {ClashChoice::Skip, {"a.txt"}, "old", false},
    };
    for (const Row& row : rows) {
        TempDir dir;
        writeFile(dir / "a.txt", "old");
        FakeEngine engine;
        auto resolver = std::make_shared<test::ScriptedResolver>();
        resolver->onClash = [&](const ClashRequest&) { return ClashDecision{row.choice, false}; };
        DownloadTarget t = targetIn(dir, "a.txt");
        t.size = 3;
        DownloadJob job(t, engine.feed);
        job.setResolver(resolver);
        job.start();
        if (!row.downloadGoesOn) job.wait();  // a Skip ends the job without the engine
        engine.write(t.partial, "new");
        engine.feed->ended(DownloadFeed::State::Completed);
        job.wait();
        ASSERT_EQ(resolver->clashes.size(), 1u);
        EXPECT_EQ(resolver->clashes[0].sourceSize, 3u);  // the announced size
        EXPECT_EQ(resolver->clashes[0].suggestedName, "a (2).txt");
        EXPECT_EQ(namesIn(dir.path()), row.names) << int(row.choice);
        EXPECT_EQ(readFile(dir / "a.txt"), row.atName) << int(row.choice);
        const bool cancelled =
            !engine.commands().empty() && engine.commands().back() == DownloadFeed::Command::Cancel;
        EXPECT_EQ(cancelled, !row.downloadGoesOn) << int(row.choice);
    }
}

// A Replace puts the old file in the trash, and only once the new one is whole: undoing the download
// brings the old bytes back, and a download that fails leaves the old file where it was.
TEST(DownloadJob, AReplacedFileGoesToTheTrashAndUndoBringsItBack) {
    struct Row {
        const char* name;
        bool bytesAtHand;
        bool askedInADialog;  // Save As: the dialog asked, the job does not
        DownloadFeed::State end;
    } rows[] = {
        {"engine", false, false, DownloadFeed::State::Completed},
        {"bytes", true, false, DownloadFeed::State::Completed},
        {"save as", false, true, DownloadFeed::State::Completed},
        {"failed", false, false, DownloadFeed::State::Failed},
    };
    for (const Row& row : rows) {
        TempDir dir;
        writeFile(dir / "a.txt", "old bytes");
        FakeEngine engine;
        auto resolver = std::make_shared<test::ScriptedResolver>();
        resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::Replace, false}; };
        DownloadTarget t = targetIn(dir, "a.txt");
        t.replace = row.askedInADialog;
        t.replacedTrash = dir / "Trash";
        std::unique_ptr<DownloadJob> job = row.bytesAtHand
                                               ? std::make_unique<DownloadJob>(t, std::string("new"))
                                               : std::make_unique<DownloadJob>(t, engine.feed);
        job->setResolver(resolver);
        job->start();
        if (!row.bytesAtHand) {
            engine.write(t.partial, "new");
            ASSERT_TRUE(waitUntil([&] { return resolver->clashCount() > 0 || row.askedInADialog; }));
            EXPECT_EQ(readFile(dir / "a.txt"), "old bytes") << row.name;  // still there while it comes
            engine.feed->ended(row.end);
        }
        job->wait();
        const JobResult r = job->result();
        EXPECT_EQ(resolver->clashes.size(), row.askedInADialog ? 0u : 1u) << row.name;
        if (row.end == DownloadFeed::State::Failed) {
            EXPECT_EQ(readFile(dir / "a.txt"), "old bytes") << row.name;
            EXPECT_TRUE(r.undo.replaced.empty()) << row.name;
            continue;
        }
        EXPECT_EQ(readFile(dir / "a.txt"), "new") << row.name;
        ASSERT_EQ(r.undo.replaced.size(), 1u) << row.name;
        EXPECT_TRUE(r.undo.unrestorable.empty()) << row.name;
        UndoJob undo(r.undo, dir / "Trash");
        undo.start();
        undo.wait();
        EXPECT_TRUE(undo.result().ok()) << row.name;
        EXPECT_EQ(readFile(dir / "a.txt"), "old bytes") << row.name;
    }
}

TEST(DownloadJob, ACancelLeavesNoFileAndStopsTheEngine) {
    TempDir dir;
    FakeEngine engine;
    DownloadTarget t = targetIn(dir, "big.bin");
    DownloadJob job(t, engine.feed);
    job.start();
    engine.write(t.partial, std::string(4096, 'b'));
    job.cancel();
    job.wait();
    EXPECT_TRUE(job.result().cancelled);
    EXPECT_TRUE(namesIn(dir.path()).empty());
    ASSERT_FALSE(engine.commands().empty());
    EXPECT_EQ(engine.commands().back(), DownloadFeed::Command::Cancel);
    EXPECT_TRUE(job.result().undo.created.empty());
}

TEST(DownloadJob, AFailureOfTheEngineIsReportedAndLeavesNothing) {
    TempDir dir;
    FakeEngine engine;
    DownloadTarget t = targetIn(dir, "gone.bin");
    DownloadJob job(t, engine.feed);
    job.start();
    engine.write(t.partial, "part");
    engine.feed->ended(DownloadFeed::State::Failed, "Server responded with error 404");
    job.wait();
    const JobResult r = job.result();
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].path, t.originUrl);
    EXPECT_EQ(r.reports[0].other, "Server responded with error 404");
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(DownloadJob, APauseReachesTheEngineAndSoDoesTheResume) {
    TempDir dir;
    FakeEngine engine;
    DownloadTarget t = targetIn(dir, "slow.bin");
    DownloadJob job(t, engine.feed);
    job.start();
    job.pause();
    ASSERT_TRUE(waitUntil([&] { return job.progress().paused; }));
    EXPECT_EQ(engine.commands(), std::vector<DownloadFeed::Command>{DownloadFeed::Command::Pause});
    job.resume();
    engine.write(t.partial, "data");
    engine.feed->ended(DownloadFeed::State::Completed);
    job.wait();
    EXPECT_EQ(engine.commands(), (std::vector<DownloadFeed::Command>{DownloadFeed::Command::Pause,
                                                                     DownloadFeed::Command::Resume}));
    EXPECT_EQ(readFile(dir / "slow.bin"), "data");
}

TEST(DownloadJob, BytesAtHandAreWrittenUnderASafeName) {
    TempDir dir;
    DownloadTarget t;
    t.folder = dir.path();
    t.name = "../../etc/passwd";
    DownloadJob job(t, std::string("text"));
    job.start();
    job.wait();
    EXPECT_TRUE(job.result().ok());
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"___.._etc_passwd"});
}

TEST(DownloadName, OfferedNamesAreMadeSafe) {
    struct Row {
        std::string offered, safe;
    } rows[] = {
        {"report.pdf", "report.pdf"}, {"a/b\\c.txt", "a_b\\c.txt"}, {"..", "download"},
        {".bashrc", "_bashrc"},       {"  spaced  ", "spaced"},     {std::string("nul\0byte", 8), "nul_byte"},
        {"tab\there", "tab_here"},    {"été.bin", "été.bin"},       {"", "download"},
    };
    for (const Row& r : rows) EXPECT_EQ(DownloadName::safe(r.offered), r.safe) << r.offered;
    // Too long: the stem is shortened, the extension kept, no UTF-8 sequence cut.
    std::string longOne;
    for (int k = 0; k < 100; ++k) longOne += "é";
    const std::string fitted = DownloadName::safe(longOne + longOne + ".tar.gz");
    EXPECT_LE(fitted.size(), 255u);
    EXPECT_EQ(fitted.substr(fitted.size() - 7), ".tar.gz");
    EXPECT_EQ(fitted.size() % 2, 1u);  // whole two-byte characters and the 7-byte extension
}

TEST(DownloadName, TextAndLinkFiles) {
    EXPECT_EQ(DownloadName::forText("  Hello\n  world  "), "Hello world.txt");
    EXPECT_EQ(DownloadName::forText("The quick brown fox jumps over the lazy dog and keeps running"),
              "The quick brown fox jumps over the lazy.txt");
    EXPECT_EQ(DownloadName::forText("\n\n"), "text.txt");
    EXPECT_EQ(DownloadName::linkFileName("Kestrel / News", "http://x/"), "Kestrel _ News.desktop");
    EXPECT_EQ(DownloadName::linkFileName("", "http://x/"), "http:__x_.desktop");
    EXPECT_EQ(DownloadName::linkFile("Two\nlines", "http://x/a"),
              "[Desktop Entry]\nType=Link\nName=Two lines\nURL=http://x/a\nIcon=text-html\n");
}

}  // namespace
}  // namespace kv
