// The trash as a place: listing every trash folder, and restoring, deleting and emptying what is in
// them, on trash folders laid out by hand as any program's trash code would leave them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "fs/waituntil.h"
#include "platform/fs/operations/purgejob.h"
#include "platform/fs/operations/restorejob.h"
#include "platform/fs/trash/trash.h"
#include "platform/fs/trash/trashjob.h"
#include "platform/fs/trash/trashlistingsource.h"
#include "platform/fs/trash/trashreader.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::ScriptedResolver;
using test::TempDir;
using test::writeFile;

const std::string kUid = std::to_string(getuid());

std::string info(const std::string& pathValue, const std::string& date = "2026-12-01T10:11:12") {
    return "[Trash Info]\nPath=" + pathValue + "\nDeletionDate=" + date + "\n";
}

// An item put into a trash folder as another program would: files/NAME and info/NAME.trashinfo.
void putItem(const std::string& trashDir, const std::string& name, const std::string& data,
             const std::optional<std::string>& infoText) {
    ::mkdir(trashDir.c_str(), 0700);
    ::mkdir((trashDir + "/files").c_str(), 0700);
    ::mkdir((trashDir + "/info").c_str(), 0700);
    writeFile(trashDir + "/files/" + name, data);
    if (infoText) writeFile(trashDir + "/info/" + name + ".trashinfo", *infoText);
}

struct Listing {
    int error = -1;
    std::map<std::string, DirEntry> rows;  // by row name (the item's path in the trash)
};

Listing listAll(TrashListingSource& source) {
    std::mutex m;
    std::condition_variable cv;
    Listing out;
    bool done = false;
    source.start(
        [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(m);
            for (DirEntry& e : batch) out.rows[e.name] = e;
        },
        [&](int error, const std::string&) {
            std::lock_guard lock(m);
            out.error = error;
            done = true;
            cv.notify_all();
        });
    std::unique_lock lock(m);
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return done; });
    return out;
}

JobResult runTrashJob(FileJob& job, std::shared_ptr<JobResolver> resolver = nullptr) {
    job.setResolver(std::move(resolver));
    job.start();
    job.wait();
    return job.result();
}

std::int64_t localNs(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm)) * 1000000000LL;
}

TEST(TrashReader, ParsesTrashInfoText) {
    struct Row {
        std::string text;
        std::string topDir;
        bool ok;
        std::string path;
        bool dated;
    };
    const std::vector<Row> rows = {
        {info("/abs/percent%20encoded"), "", true, "/abs/percent encoded", true},
        {info("/caf%E9%FF"), "", true, "/caf\xE9\xFF", true},
        {info("docs/a%25b"), "/media/stick", true, "/media/stick/docs/a%b", true},
        {info("docs/relative"), "", false, "", true},  // relative in the home trash: unknown
        // A volume's items stay on the volume: leaving it with ".." or an absolute path elsewhere is unknown.
        {info("../../../../elsewhere/x"), "/media/stick", false, "", true},
        {info("docs/../../stick2/x"), "/media/stick", false, "", true},
        {info("/etc/x"), "/media/stick", false, "", true},
        {info("/media/stick/docs/./a"), "/media/stick", true, "/media/stick/docs/a", true},
        {info("/home/me/../you/x"), "", true, "/home/you/x", true},
        {"[Trash Info]\r\nPath=/crlf\r\nDeletionDate=2026-12-01T10:11:12\r\n", "", true, "/crlf", true},
        {"# comment\n[Other]\nPath=/no\n[Trash Info]\nDeletionDate=junk\nPath=/yes\n", "", true, "/yes",
         false},
        {"Path=/outside/group\n", "", false, "", false},
        {"[Trash Info]\nDeletionDate=2026-12-01T10:11:12\n", "", false, "", true},
        {"", "", false, "", false},
    };
    for (const Row& row : rows) {
        std::string path;
        std::int64_t ns = -1;
        EXPECT_EQ(TrashReader::parseInfo(row.text, row.topDir, path, ns), row.ok) << row.text;
        if (row.ok) {
            EXPECT_EQ(path, row.path) << row.text;
        }
        EXPECT_EQ(ns != 0, row.dated) << row.text;
    }
    EXPECT_EQ(TrashReader::parseDate("2026-12-01T10:11:12"), localNs(2026, 12, 1, 10, 11, 12));
    EXPECT_EQ(TrashReader::parseDate("2026-13-01T10:11:12"), 0);
    EXPECT_EQ(TrashReader::parseDate("yesterday"), 0);
}

// A home trash and a volume's two kinds of trash folder, filled by hand.
class TrashPlace : public ::testing::Test {
  protected:
    TempDir data;    // stands for $XDG_DATA_HOME
    TempDir volume;  // stands for a mounted volume's top folder
    TempDir place;   // where the items came from
    std::string home() { return data / "Trash"; }
    std::string ownVolumeTrash() { return volume / (".Trash-" + kUid); }
    std::string sharedVolumeTrash() { return volume / (".Trash/" + kUid); }
    TrashDirs dirs() {
        return TrashDirs(home(), [this] { return std::vector<std::string>{volume.path()}; });
    }
    void SetUp() override {
        ::mkdir((volume / ".Trash").c_str(), 0777);
        ::chmod((volume / ".Trash").c_str(), 01777);
    }
};

TEST_F(TrashPlace, ListsEveryTrashFolderWithOriginsAndDates) {
    putItem(home(), "report.txt", "r", info(Trash::encodePath(place / "docs/report.txt")));
    putItem(home(), "report.txt.2", "r2",
            info(Trash::encodePath(place / "report.txt"), "2026-12-02T08:00:00"));
    putItem(home(), "caf\xE9 100%.txt", "c", info(Trash::encodePath(place / "caf\xE9 100%.txt")));
    putItem(home(), "no-info", "n", std::nullopt);
    putItem(home(), "bad-info", "b", "not a trash info\n");
    writeFile(home() + "/info/orphan.trashinfo", info("/gone/orphan"));
    // The same name in the volume's own and shared trash folders: rows are told apart by path.
    putItem(ownVolumeTrash(), "report.txt", "v", info("docs/report%20v.txt"));
    ::mkdir(sharedVolumeTrash().c_str(), 0700);
    putItem(sharedVolumeTrash(), "report.txt", "s", info(Trash::encodePath(volume / "abs/percent encoded")));

    auto catalog = std::make_shared<TrashCatalog>();
    TrashListingSource source(dirs(), catalog);
    const Listing l = listAll(source);
    ASSERT_EQ(l.error, 0);

    struct Expect {
        std::string row;
        std::string shown;
        std::string origin;
        std::int64_t deleted;
        bool hidden;
    };
    const std::int64_t dec1 = localNs(2026, 12, 1, 10, 11, 12);
    const std::vector<Expect> expect = {
        {home() + "/files/report.txt", "report.txt", place / "docs/report.txt", dec1, false},
        {home() + "/files/report.txt.2", "report.txt", place / "report.txt", localNs(2026, 12, 2, 8, 0, 0),
         false},
        {home() + "/files/caf\xE9 100%.txt", "caf\xE9 100%.txt", place / "caf\xE9 100%.txt", dec1, false},
        {home() + "/files/no-info", "no-info", "", 0, false},
        {home() + "/files/bad-info", "bad-info", "", 0, false},
        {ownVolumeTrash() + "/files/report.txt", "report v.txt", volume / "docs/report v.txt", dec1, false},
        {sharedVolumeTrash() + "/files/report.txt", "percent encoded", volume / "abs/percent encoded", dec1,
         false},
    };
    EXPECT_EQ(l.rows.size(), expect.size());
    for (const Expect& e : expect) {
        SCOPED_TRACE(e.row);
        ASSERT_TRUE(l.rows.count(e.row));
        EXPECT_EQ(l.rows.at(e.row).mtimeNs, e.deleted);
        const std::optional<TrashRecord> r = catalog->find(e.row);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->displayName(), e.shown);
        EXPECT_EQ(r->item.originalPath, e.origin);
        EXPECT_EQ(r->item.trashedPath, e.row);
        EXPECT_EQ(r->originKnown(), !e.origin.empty());
    }
    EXPECT_EQ(catalog->folders().size(), 3u);

    // A look at some names: one changed, one gone.
    putItem(home(), "late.txt", "l", info("/x/late.txt"));
    ::unlink((home() + "/files/no-info").c_str());
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::vector<DirEntry> found;
    std::vector<std::string> gone;
    source.refreshNames({home() + "/files/late.txt", home() + "/files/no-info"},
                        [&](int, std::vector<DirEntry>&& f, std::vector<std::string>&& g) {
                            std::lock_guard lock(m);
                            found = std::move(f);
                            gone = std::move(g);
                            done = true;
                            cv.notify_all();
                        });
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, home() + "/files/late.txt");
    EXPECT_EQ(catalog->find(found[0].name)->item.originalPath, "/x/late.txt");
    EXPECT_EQ(gone, std::vector<std::string>{home() + "/files/no-info"});
}

TEST_F(TrashPlace, UnsafeVolumeTrashFoldersAreNotListed) {
    // A .Trash that is not sticky, and a .Trash-UID that is a link to somewhere else.
    ::chmod((volume / ".Trash").c_str(), 0777);
    ::mkdir(sharedVolumeTrash().c_str(), 0700);
    putItem(sharedVolumeTrash(), "a", "a", info("/a"));
    TempDir elsewhere;
    putItem(elsewhere / "t", "b", "b", info("/b"));
    ASSERT_EQ(::symlink((elsewhere / "t").c_str(), ownVolumeTrash().c_str()), 0);
    FsOps ops;
    EXPECT_TRUE(TrashDirs::ofVolume(ops, volume.path()).empty());
    auto catalog = std::make_shared<TrashCatalog>();
    TrashListingSource source(dirs(), catalog);
    const Listing l = listAll(source);
    EXPECT_EQ(l.error, 0) << "no home trash yet is an empty trash";
    EXPECT_TRUE(l.rows.empty());
}

TEST_F(TrashPlace, ALinkInPlaceOfFilesOrInfoIsNeitherListedNorEmptied) {
    // files/ or info/ of a trash folder made a link to another folder: listing it would show that
    // folder's files, and emptying the trash would delete them.
    struct Case {
        const char* name;
        bool volume;
        const char* linked;
    };
    for (const Case& c : {Case{"home files", false, "files"}, Case{"home info", false, "info"},
                          Case{"volume files", true, "files"}, Case{"volume info", true, "info"}}) {
        SCOPED_TRACE(c.name);
        TempDir data2, volume2, elsewhere;
        const std::string trash = c.volume ? volume2 / (".Trash-" + kUid) : data2 / "Trash";
        putItem(trash, "own", "o", info("/x/own"));
        writeFile(elsewhere / "precious", "p");
        writeFile(elsewhere / "precious.trashinfo", info("/x/precious"));
        const std::string part = trash + "/" + c.linked;
        std::filesystem::remove_all(part);
        ASSERT_EQ(::symlink(elsewhere.path().c_str(), part.c_str()), 0);
        TrashDirs dirs(data2 / "Trash", [&] { return std::vector<std::string>{volume2.path()}; });

        auto catalog = std::make_shared<TrashCatalog>();
        TrashListingSource source(dirs, catalog);
        EXPECT_TRUE(listAll(source).rows.empty());
        PurgeJob empty(dirs);
        runTrashJob(empty);
        const std::string files = trash + "/files";
        PurgeJob chosen(
            {TrashedItem{"/x/precious", files + "/precious", trash + "/info/precious.trashinfo"}});
        runTrashJob(chosen);
        EXPECT_TRUE(exists(elsewhere / "precious"));
        EXPECT_TRUE(exists(elsewhere / "precious.trashinfo"));
    }
}

TEST_F(TrashPlace, AFifoInPlaceOfATrashInfoHidesNothingElse) {
    putItem(ownVolumeTrash(), "fine", "f", info("fine"));
    putItem(ownVolumeTrash(), "piped", "p", std::nullopt);
    ASSERT_EQ(::mkfifo((ownVolumeTrash() + "/info/piped.trashinfo").c_str(), 0600), 0);
    auto catalog = std::make_shared<TrashCatalog>();
    TrashListingSource source(dirs(), catalog);
    const Listing l = listAll(source);
    ASSERT_EQ(l.rows.size(), 2u) << "listed without waiting for a writer on the FIFO";
    EXPECT_EQ(catalog->find(ownVolumeTrash() + "/files/fine")->item.originalPath, volume / "fine");
    EXPECT_FALSE(catalog->find(ownVolumeTrash() + "/files/piped")->originKnown());
}

TEST_F(TrashPlace, ACancelledListingCallsNothingMore) {
    for (int i = 0; i < 200; ++i)
        putItem(home(), "f" + std::to_string(i), "x", info("/x/f" + std::to_string(i)));
    std::atomic<int> calls{0};
    auto catalog = std::make_shared<TrashCatalog>();
    {
        TrashListingSource source(dirs(), catalog);
        for (int round = 0; round < 20; ++round) {
            source.start([&](std::vector<DirEntry>&&) { ++calls; },
                         [&](int, const std::string&) { ++calls; });
            source.cancel();
        }
    }
    const int after = calls;
    // The listings' threads hold the catalog until they end: once they all have, nothing more comes.
    EXPECT_TRUE(test::waitUntil([&] { return catalog.use_count() == 1; })) << "the listings' threads ended";
    EXPECT_EQ(calls, after);
}

TEST_F(TrashPlace, RestoreRecreatesParentsAndForgetsTheItem) {
    // Made by another program's trash code: a folder with contents, deep below a folder now gone.
    ::mkdir((data / "Trash").c_str(), 0700);
    putItem(home(), "album", "", info(Trash::encodePath(place / "gone/deeper/album")));
    ::unlink((home() + "/files/album").c_str());
    ::mkdir((home() + "/files/album").c_str(), 0755);
    writeFile(home() + "/files/album/one.jpg", "1");
    putItem(home(), "no-origin", "?", std::nullopt);

    RestoreJob job({{place / "gone/deeper/album", home() + "/files/album", home() + "/info/album.trashinfo"},
                    {"", home() + "/files/no-origin", home() + "/info/no-origin.trashinfo"}});
    const JobResult r = runTrashJob(job);
    EXPECT_EQ(readFile(place / "gone/deeper/album/one.jpg"), "1");
    EXPECT_FALSE(exists(home() + "/files/album"));
    EXPECT_FALSE(exists(home() + "/info/album.trashinfo"));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].problem, JobProblem::NoOrigin);
    EXPECT_TRUE(exists(home() + "/files/no-origin")) << "what cannot go back stays in the trash";
    EXPECT_TRUE(r.undo.empty());

    auto catalog = std::make_shared<TrashCatalog>();
    TrashListingSource source(dirs(), catalog);
    const Listing l = listAll(source);
    EXPECT_EQ(l.rows.size(), 1u) << "the restored item is no longer listed";
}

TEST_F(TrashPlace, RestoreAsksWhenTheNameIsTaken) {
    struct Row {
        ClashChoice choice;
        std::string atOriginal;
        std::string keptBoth;  // what "doc (2).txt" holds; empty: nothing there
        bool stillTrashed;
    };
    for (const Row& row : {Row{ClashChoice::Skip, "newcomer", "", true},
                           Row{ClashChoice::KeepBoth, "newcomer", "trashed", false},
                           Row{ClashChoice::Replace, "trashed", "", false}}) {
        SCOPED_TRACE(static_cast<int>(row.choice));
        TempDir d;
        const std::string trash = d / "Trash";
        writeFile(d / "doc.txt", "trashed");
        FsOps ops;
        Trash t(ops, trash);
        TrashedItem item;
        JobReport report;
        ASSERT_EQ(t.trash(d / "doc.txt", item, report), 0);
        writeFile(d / "doc.txt", "newcomer");

        auto resolver = std::make_shared<ScriptedResolver>();
        resolver->async = true;
        resolver->onClash = [&](const ClashRequest&) { return ClashDecision{row.choice, false}; };
        RestoreJob job({item});
        runTrashJob(job, resolver);
        ASSERT_EQ(resolver->clashes.size(), 1u);
        EXPECT_EQ(resolver->clashes[0].target, d / "doc.txt");
        EXPECT_EQ(resolver->clashes[0].suggestedName, "doc (2).txt");
        EXPECT_EQ(readFile(d / "doc.txt"), row.atOriginal);
        EXPECT_EQ(exists(d / "doc (2).txt"), !row.keptBoth.empty());
        if (!row.keptBoth.empty()) {
            EXPECT_EQ(readFile(d / "doc (2).txt"), row.keptBoth);
        }
        EXPECT_EQ(exists(item.trashedPath), row.stillTrashed);
        EXPECT_EQ(exists(item.infoPath), row.stillTrashed) << "the info goes with its item, and only then";
    }
}

TEST_F(TrashPlace, RestoringAFolderOntoAFolderMergesAndEmptiesTheTrashEntry) {
    ::mkdir((place / "album").c_str(), 0755);
    writeFile(place / "album/one.jpg", "1");
    FsOps ops;
    Trash t(ops, home());
    TrashedItem item;
    JobReport report;
    ASSERT_EQ(t.trash(place / "album", item, report), 0);
    ::mkdir((place / "album").c_str(), 0755);
    writeFile(place / "album/two.jpg", "2");
    auto resolver = std::make_shared<ScriptedResolver>();
    resolver->onClash = [](const ClashRequest& r) {
        return ClashDecision{r.merge() ? ClashChoice::Replace : ClashChoice::Skip, false};
    };
    RestoreJob job({item});
    EXPECT_TRUE(runTrashJob(job, resolver).ok());
    EXPECT_EQ(readFile(place / "album/one.jpg"), "1");
    EXPECT_EQ(readFile(place / "album/two.jpg"), "2");
    EXPECT_FALSE(exists(item.trashedPath));
    EXPECT_FALSE(exists(item.infoPath));
}

// Fails the removal of one path, as a file the user may not delete would.
class RefusingOps : public FsOps {
  public:
    std::string refused;
    int unlink(const std::string& path) override { return path == refused ? -EACCES : FsOps::unlink(path); }
};

TEST_F(TrashPlace, DeletePermanentlyRemovesTheInfoOnlyAfterItsItem) {
    putItem(home(), "a.txt", "a", info("/x/a.txt"));
    putItem(home(), "keep.txt", "k", info("/x/keep.txt"));
    ::mkdir((home() + "/files/tree").c_str(), 0755);
    writeFile(home() + "/files/tree/stuck", "s");
    writeFile(home() + "/info/tree.trashinfo", info("/x/tree"));
    auto item = [&](const std::string& n) {
        return TrashedItem{"/x/" + n, home() + "/files/" + n, home() + "/info/" + n + ".trashinfo"};
    };
    auto ops = std::make_shared<RefusingOps>();
    ops->refused = home() + "/files/tree/stuck";
    PurgeJob job({item("a.txt"), item("tree"), {"", place / "not-in-a-trash", place / "x.trashinfo"}});
    job.setOps(ops);
    const JobResult r = runTrashJob(job);  // no resolver: the error is skipped
    EXPECT_FALSE(exists(home() + "/files/a.txt"));
    EXPECT_FALSE(exists(home() + "/info/a.txt.trashinfo"));
    EXPECT_TRUE(exists(home() + "/files/tree/stuck"));
    EXPECT_TRUE(exists(home() + "/info/tree.trashinfo")) << "an item that stays keeps its info";
    EXPECT_TRUE(exists(home() + "/files/keep.txt"));
    ASSERT_EQ(r.reports.size(), 2u);
    EXPECT_EQ(r.reports[1].problem, JobProblem::Refused) << "nothing outside a trash is touched";
}

TEST_F(TrashPlace, EmptyRemovesEveryTrashFoldersItemsAndStrayInfo) {
    putItem(home(), "a", "a", info("/x/a"));
    putItem(home(), "no-info", "n", std::nullopt);
    writeFile(home() + "/info/orphan.trashinfo", info("/x/orphan"));
    ::mkdir((home() + "/files/dir").c_str(), 0755);
    writeFile(home() + "/files/dir/inner", "i");
    putItem(ownVolumeTrash(), "v", "v", info("v"));
    writeFile(place / "untouched", "u");

    PurgeJob job(dirs());
    const JobResult r = runTrashJob(job);
    EXPECT_TRUE(r.ok());
    for (const std::string& t : {home(), ownVolumeTrash()}) {
        SCOPED_TRACE(t);
        EXPECT_TRUE(exists(t + "/files")) << "the trash folders themselves stay";
        std::vector<std::string> names;
        FsOps ops;
        ops.listNames(t + "/files", names);
        EXPECT_TRUE(names.empty());
        names.clear();
        ops.listNames(t + "/info", names);
        EXPECT_TRUE(names.empty());
    }
    EXPECT_TRUE(exists(place / "untouched"));
}

TEST_F(TrashPlace, WhatWeTrashListsAndRestoresThroughTheSameCode) {
    writeFile(place / "with space %.txt", "w");
    TrashJob trash({place / "with space %.txt"}, home());
    ASSERT_TRUE(runTrashJob(trash).ok());
    auto catalog = std::make_shared<TrashCatalog>();
    TrashListingSource source(dirs(), catalog);
    Listing l = listAll(source);
    ASSERT_EQ(l.rows.size(), 1u);
    const std::optional<TrashRecord> rec = catalog->find(l.rows.begin()->first);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->item.originalPath, place / "with space %.txt");
    EXPECT_NEAR(static_cast<double>(rec->deletedNs) / 1e9, static_cast<double>(std::time(nullptr)), 5.0);
    RestoreJob restore({rec->item});
    EXPECT_TRUE(runTrashJob(restore).ok());
    EXPECT_EQ(readFile(place / "with space %.txt"), "w");
    l = listAll(source);
    EXPECT_TRUE(l.rows.empty());
}

}  // namespace
}  // namespace kv
