#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/archives/archiveindex.h"
#include "platform/fs/archives/archivelistingsource.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/fs/archives/extractjob.h"
#include "platform/fs/archives/extractsafety.h"

namespace kv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Everything below a folder: relative path -> what a round trip must keep.
struct Node {
    std::string data;  // file contents or link target
    mode_t mode = 0;
    std::int64_t mtime = 0;  // seconds
    bool operator==(const Node&) const = default;
};

void walk(const std::string& root, const std::string& rel, std::map<std::string, Node>& out) {
    DIR* d = opendir((rel.empty() ? root : root + "/" + rel).c_str());
    if (!d) return;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string r = rel.empty() ? name : rel + "/" + name;
        struct stat st {};
        lstat((root + "/" + r).c_str(), &st);
        Node n;
        n.mode = st.st_mode;
        n.mtime = S_ISLNK(st.st_mode) ? 0 : st.st_mtime;
        if (S_ISREG(st.st_mode)) n.data = readFile(root + "/" + r);
        if (S_ISLNK(st.st_mode)) {
            char buf[512];
            const ssize_t len = readlink((root + "/" + r).c_str(), buf, sizeof buf);
            n.data.assign(buf, len > 0 ? static_cast<size_t>(len) : 0);
        }
        out[r] = n;
        if (S_ISDIR(st.st_mode)) walk(root, r, out);
    }
    closedir(d);
}

std::map<std::string, Node> tree(const std::string& root) {
    std::map<std::string, Node> out;
    walk(root, "", out);
    return out;
}

void setMtime(const std::string& path, time_t t) {
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A small tree with what a round trip has to keep: modes, times, a nested folder, a link inside.
void makeSource(const std::string& root) {
    mkdir(root.c_str(), 0755);
    mkdir((root + "/docs").c_str(), 0750);
    writeFile(root + "/docs/report.txt", "quarterly figures\n");
    chmod((root + "/docs/report.txt").c_str(), 0640);
    writeFile(root + "/run.sh", "#!/bin/sh\necho hi\n");
    chmod((root + "/run.sh").c_str(), 0755);
    writeFile(root + "/big.bin", std::string(300000, 'q') + std::string(1000, '\1'));
    EXPECT_EQ(symlink("docs/report.txt", (root + "/latest").c_str()), 0);
    setMtime(root + "/docs/report.txt", 1600000000);
    setMtime(root + "/run.sh", 1600000100);
    setMtime(root + "/big.bin", 1600000200);
    setMtime(root + "/docs", 1600000300);
    setMtime(root, 1600000400);
}

JobResult runArchiveJob(FileJob& job, std::shared_ptr<test::ScriptedResolver> resolver = {}) {
    if (resolver) job.setResolver(resolver);
    job.start();
    job.wait();
    return job.result();
}

std::vector<std::string> namesOf(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

// Writes an archive with libarchive's own writer: entries as (path, type, data or link target).
struct Raw {
    std::string path;
    mode_t type = AE_IFREG;
    std::string data;
    mode_t perm = 0;  // 0: 0755 for folders, 0644 for the rest
};
void writeRaw(const std::string& file, const std::vector<Raw>& entries,
              const std::function<void(struct archive*)>& format = {}) {
    struct archive* a = archive_write_new();
    if (format)
        format(a);
    else
        archive_write_set_format_pax_restricted(a);
    ASSERT_EQ(archive_write_open_filename(a, file.c_str()), ARCHIVE_OK) << archive_error_string(a);
    for (const Raw& r : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, r.path.c_str());
        archive_entry_set_filetype(e, r.type);
        archive_entry_set_perm(e, r.perm ? r.perm : r.type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_mtime(e, 1600000000, 0);
        if (r.type == AE_IFLNK) archive_entry_set_symlink(e, r.data.c_str());
        if (r.type == 0) archive_entry_set_hardlink(e, r.data.c_str());  // another name of r.data
        if (r.type == AE_IFREG) archive_entry_set_size(e, static_cast<la_int64_t>(r.data.size()));
        archive_write_header(a, e);
        if (r.type == AE_IFREG) archive_write_data(a, r.data.data(), r.data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

bool hasReport(const JobResult& r, JobProblem problem) {
    return std::any_of(r.reports.begin(), r.reports.end(),
                       [&](const JobReport& x) { return x.problem == problem; });
}

// No temporary file of an extraction left anywhere below root.
bool leftoverParts(const std::string& root) {
    for (const auto& [rel, node] : tree(root))
        if (rel.find(".kv-") != std::string::npos) return true;
    return false;
}

TEST(ArchiveLocation, TextsAndNames) {
    struct Row {
        std::string text;
        bool valid;
        std::string archive, inner, parent;
    } rows[] = {
        {"archive:/h/a.zip//", true, "/h/a.zip", "", ""},
        {"archive:/h/a.zip//docs/img", true, "/h/a.zip", "docs/img", "archive:/h/a.zip//docs"},
        {"archive:/h/a.zip//docs/", true, "/h/a.zip", "docs", "archive:/h/a.zip//"},
        {"archive:/h/a.zip", true, "/h/a.zip", "", ""},
        {"archive:h/a.zip//x", false, "", "", ""},
        {"/h/a.zip//x", false, "", "", ""},
    };
    for (const Row& row : rows) {
        const auto where = ArchiveLocation::parse(row.text);
        ASSERT_EQ(where.has_value(), row.valid) << row.text;
        if (!where) continue;
        EXPECT_EQ(where->archive, row.archive) << row.text;
        EXPECT_EQ(where->inner, row.inner) << row.text;
        EXPECT_EQ(ArchiveLocation::parse(where->text())->inner, row.inner) << row.text;
        const auto up = where->parent();
        EXPECT_EQ(up ? up->text() : std::string(), row.parent) << row.text;
    }
    struct Name {
        std::string name;
        bool archive;
        std::string stem;
    } names[] = {{"a.zip", true, "a"},     {"Photos.TAR.GZ", true, "Photos"},
                 {"x.tar.zst", true, "x"}, {"disk.iso", true, "disk"},
                 {"pkg.deb", true, "pkg"}, {"notes.txt", false, "notes.txt"},
                 {".zip", false, ".zip"},  {"a.tgz", true, "a"},
                 {"b.7z", true, "b"}};
    for (const Name& n : names) {
        EXPECT_EQ(ArchiveLocation::isArchiveName(n.name), n.archive) << n.name;
        EXPECT_EQ(ExtractJob::stemOf(n.name), n.stem) << n.name;
    }
}

TEST(ArchiveSafety, LinksThatStayInside) {
    struct Row {
        std::string rel, target;
        bool inside;
    } rows[] = {{"a/link", "b", true},
                {"a/link", "../b", true},
                {"a/link", "../../b", false},
                {"link", "../x", false},
                {"link", "/etc/passwd", false},
                {"a/b/link", "./../../c", true},
                {"a/link", "x/../../../y", false},
                {"link", "", false}};
    for (const Row& r : rows)
        EXPECT_EQ(ExtractSafety::linkStaysInside(r.rel, r.target), r.inside) << r.rel << " -> " << r.target;
}

// Each format the program makes: compressed, listed, extracted; the tree comes back as it was.
TEST(ArchiveRoundTrip, EachFormatKeepsContentsModesAndTimes) {
    for (ArchiveFormat format :
         {ArchiveFormat::Zip, ArchiveFormat::TarGz, ArchiveFormat::TarXz, ArchiveFormat::TarZst}) {
        const std::string ext(CompressJob::extensionOf(format));
        TempDir dir;
        makeSource(dir / "src");
        const std::string file = dir / ("made" + ext);
        CompressJob compress({dir / "src"}, file, format);
        const JobResult made = runArchiveJob(compress);
        ASSERT_TRUE(made.ok()) << ext << " " << (made.reports.empty() ? "" : made.reports[0].path);
        EXPECT_EQ(made.undo.created, std::vector<std::string>{file}) << ext;
        EXPECT_EQ(made.undo.kind, UndoInfo::Kind::Compress) << ext;

        const auto index = ArchiveIndex::read(file);
        ASSERT_EQ(index->error(), 0) << ext;
        EXPECT_FALSE(index->damaged()) << ext;
        EXPECT_EQ(namesOf(index->list("")), std::vector<std::string>{"src"}) << ext;
        EXPECT_EQ(namesOf(index->list("src")),
                  (std::vector<std::string>{"big.bin", "docs", "latest", "run.sh"}))
            << ext;

        mkdir((dir / "out").c_str(), 0755);
        ExtractJob extract({file, "", {}, dir / "out", "", false});
        const JobResult out = runArchiveJob(extract);
        EXPECT_TRUE(out.ok()) << ext;
        EXPECT_EQ(out.undo.created, std::vector<std::string>{dir / "out/src"}) << ext;
        EXPECT_EQ(out.undo.kind, UndoInfo::Kind::Extract) << ext;
        EXPECT_EQ(tree(dir / "out/src"), tree(dir / "src")) << ext;
        EXPECT_FALSE(leftoverParts(dir / "out")) << ext;
    }
}

// The kinds the program only reads, written here with libarchive's writer: listed and extracted.
TEST(ArchiveRoundTrip, ReadOnlyKindsListAndExtract) {
    const std::vector<Raw> entries = {
        {"top", AE_IFDIR, ""}, {"top/a.txt", AE_IFREG, "alpha"}, {"top/sub/b.txt", AE_IFREG, "beta"}};
    struct Kind {
        const char* name;
        std::function<void(struct archive*)> format;
    } kinds[] = {
        {"x.7z", [](struct archive* a) { archive_write_set_format_7zip(a); }},
        {"x.cpio", [](struct archive* a) { archive_write_set_format_cpio_newc(a); }},
        {"x.iso", [](struct archive* a) { archive_write_set_format_iso9660(a); }},
        {"x.tar.bz2",
         [](struct archive* a) {
             archive_write_set_format_ustar(a);
             archive_write_add_filter_bzip2(a);
         }},
    };
    for (const Kind& k : kinds) {
        TempDir dir;
        writeRaw(dir / k.name, entries, k.format);
        const auto index = ArchiveIndex::read(dir / k.name);
        ASSERT_EQ(index->error(), 0) << k.name;
        EXPECT_EQ(namesOf(index->list("top")), (std::vector<std::string>{"a.txt", "sub"})) << k.name;
        bool found = false;
        EXPECT_EQ(namesOf(index->list("top/sub", &found)), std::vector<std::string>{"b.txt"}) << k.name;
        EXPECT_TRUE(found) << k.name;
        ExtractJob extract({dir / k.name, "top", {"sub"}, dir.path(), "", false});
        EXPECT_TRUE(runArchiveJob(extract).ok()) << k.name;
        EXPECT_EQ(readFile(dir / "sub/b.txt"), "beta") << k.name;
        EXPECT_FALSE(test::exists(dir / "a.txt")) << k.name;
    }
}

TEST(ArchiveSafety, HostileEntriesAreRefusedAndNothingLandsOutside) {
    TempDir dir;
    const std::string outside = dir / "outside";
    mkdir(outside.c_str(), 0755);
    struct Row {
        const char* what;
        std::vector<Raw> entries;
        std::string why;
    } rows[] = {
        {"zip-slip", {{"ok.txt", AE_IFREG, "fine"}, {"../outside/slip.txt", AE_IFREG, "evil"}}, "dotdot"},
        {"absolute", {{"ok.txt", AE_IFREG, "fine"}, {outside + "/abs.txt", AE_IFREG, "evil"}}, "absolute"},
        {"link out then write through",
         {{"ok.txt", AE_IFREG, "fine"},
          {"esc", AE_IFLNK, "../outside"},
          {"esc/through.txt", AE_IFREG, "evil"}},
         "link:../outside"},
        {"absolute link", {{"ok.txt", AE_IFREG, "fine"}, {"etc", AE_IFLNK, outside}}, "link:" + outside},
        // Each text stays inside on its own; through the link before it, it climbs out.
        {"through a link to its own folder",
         {{"ok.txt", AE_IFREG, "fine"}, {"x", AE_IFLNK, "."}, {"y", AE_IFLNK, "x/.."}},
         "link:x/.."},
        {"deeper through the same link",
         {{"ok.txt", AE_IFREG, "fine"}, {"x", AE_IFLNK, "."}, {"z", AE_IFLNK, "x/x/x/../../.."}},
         "link:x/x/x/../../.."},
        {"through a link that comes later",
         {{"ok.txt", AE_IFREG, "fine"}, {"y", AE_IFLNK, "x/.."}, {"x", AE_IFLNK, "."}},
         "link:x/.."},
    };
    for (const Row& row : rows) {
        for (const bool zip : {false, true}) {
            const std::string file = dir / (std::string("hostile") + (zip ? ".zip" : ".tar"));
            unlink(file.c_str());
            writeRaw(file, row.entries,
                     zip ? [](struct archive* a) { archive_write_set_format_zip(a); }
                         : std::function<void(struct archive*)>());
            TempDir target;
            ExtractJob extract({file, "", {}, target.path(), "", false});
            const JobResult r = runArchiveJob(extract);
            EXPECT_EQ(readFile(target / "ok.txt"), "fine") << row.what;
            EXPECT_TRUE(tree(outside).empty()) << row.what << (zip ? " zip" : " tar");
            ASSERT_FALSE(r.reports.empty()) << row.what;
            EXPECT_TRUE(std::any_of(
                r.reports.begin(), r.reports.end(),
                [&](const JobReport& x) { return x.problem == JobProblem::Unsafe && x.other == row.why; }))
                << row.what << (zip ? " zip" : " tar");
        }
    }
    // The listing shows none of them either.
    writeRaw(dir / "l.tar", {{"../x", AE_IFREG, "e"}, {"/abs", AE_IFREG, "e"}, {"fine", AE_IFREG, "f"}});
    const auto index = ArchiveIndex::read(dir / "l.tar");
    EXPECT_EQ(namesOf(index->list("")), std::vector<std::string>{"fine"});
    EXPECT_EQ(index->unsafeEntries(), 2u);
}

TEST(ArchiveExtract, HardLinksBecomeLinksToTheFileExtractedBefore) {
    TempDir dir;
    const std::string file = dir / "links.tar";
    writeRaw(file,
             {{"a.txt", AE_IFREG, "data"},
              {"dir", AE_IFDIR, ""},
              {"dir/b.txt", 0, "a.txt"},
              {"dir/c.txt", 0, "dir/b.txt"},
              {"out.txt", 0, "../outside/x"}},
             [](struct archive* a) { archive_write_set_format_gnutar(a); });

    const auto index = ArchiveIndex::read(file);
    const std::vector<DirEntry> inDir = index->list("dir");
    ASSERT_EQ(inDir.size(), 2u);
    for (const DirEntry& e : inDir) {
        EXPECT_FALSE(e.isDir || e.isSymlink) << e.name;
        EXPECT_TRUE(S_ISREG(e.mode)) << e.name;
        EXPECT_EQ(e.size, 4u) << e.name;
    }

    TempDir all;
    ExtractJob whole({file, "", {}, all.path(), "", false});
    const JobResult r = runArchiveJob(whole);
    struct stat a {
    }, b{}, c{};
    ASSERT_EQ(::stat((all / "a.txt").c_str(), &a), 0);
    ASSERT_EQ(::stat((all / "dir/b.txt").c_str(), &b), 0);
    ASSERT_EQ(::stat((all / "dir/c.txt").c_str(), &c), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_ino, c.st_ino);
    EXPECT_EQ(readFile(all / "dir/c.txt"), "data");
    EXPECT_FALSE(test::exists(all / "out.txt")) << "a link to outside the archive has no file to be";
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].problem, JobProblem::Unsafe);

    // Taken out alone (a copy, a drag), a link gets its file's data.
    TempDir one;
    ExtractJob alone({file, "dir", {"c.txt"}, one.path(), "", false});
    EXPECT_TRUE(runArchiveJob(alone).ok());
    EXPECT_EQ(readFile(one / "c.txt"), "data");
    EXPECT_EQ(tree(one.path()).size(), 1u);
}

TEST(ArchiveExtract, AnEntryWhoseDataFailsItsChecksumGetsNoFile) {
    TempDir dir;
    const std::string file = dir / "flipped.zip";
    writeRaw(file,
             {{"good.txt", AE_IFREG, "good"},
              {"bad.txt", AE_IFREG, std::string(1000, 'A')},
              {"after.txt", AE_IFREG, "after"}},
             [](struct archive* a) {
                 archive_write_set_format_zip(a);
                 archive_write_set_options(a, "zip:compression=store");
             });
    std::string bytes = readFile(file);
    const std::size_t at = bytes.find(std::string(1000, 'A'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 500] ^= 1;
    writeFile(file, bytes);

    TempDir out;
    ExtractJob extract({file, "", {}, out.path(), "", false});
    const JobResult r = runArchiveJob(extract);
    EXPECT_EQ(readFile(out / "good.txt"), "good");
    EXPECT_EQ(readFile(out / "after.txt"), "after");
    EXPECT_FALSE(test::exists(out / "bad.txt"));
    EXPECT_FALSE(leftoverParts(out.path()));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].problem, JobProblem::Damaged);
    EXPECT_NE(r.reports[0].path.find("bad.txt"), std::string::npos);
}

TEST(ArchiveExtract, SpecialBitsAreDroppedAndTheUmaskApplies) {
    ::umask(022);
    TempDir dir;
    const std::string file = dir / "modes.tar";
    writeRaw(file, {{"suid", AE_IFREG, "x", 04755},
                    {"sgid-dir", AE_IFDIR, "", 02777},
                    {"open", AE_IFREG, "x", 0666},
                    {"sticky", AE_IFDIR, "", 01777}});
    TempDir out;
    ExtractJob extract({file, "", {}, out.path(), "", false});
    ASSERT_TRUE(runArchiveJob(extract).ok());
    for (const auto& [name, mode] : {std::pair<const char*, mode_t>{"suid", 0755},
                                     {"sgid-dir", 0755},
                                     {"open", 0644},
                                     {"sticky", 0755}}) {
        struct stat st {};
        ASSERT_EQ(::lstat((out / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, mode) << name;
    }
}

TEST(ArchiveExtract, APathTooLongForTheSystemIsRefusedAndLeavesNothingHalfMade) {
    TempDir dir;
    const std::string file = dir / "deep.tar";
    std::string deep;
    for (int i = 0; i < 17; ++i) deep += std::string(240, static_cast<char>('a' + i)) + "/";
    writeRaw(file, {{"ok.txt", AE_IFREG, "fine"}, {deep + "file.txt", AE_IFREG, "deep"}});
    TempDir out;
    ExtractJob extract({file, "", {}, out.path(), "", false});
    const JobResult r = runArchiveJob(extract);
    EXPECT_EQ(readFile(out / "ok.txt"), "fine");
    EXPECT_FALSE(r.ok());
    // find walks paths longer than the system takes at once.
    std::string found;
    if (FILE* find = ::popen(("find '" + out.path() + "' -name '.kv-*'").c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, find)) found += buf;
        ::pclose(find);
    }
    EXPECT_EQ(found, "");
}

TEST(ArchiveExtract, EncryptedZipNeedsItsPassword) {
    TempDir dir;
    const std::string file = dir / "secret.zip";
    writeRaw(file, {{"plans.txt", AE_IFREG, "the plans"}}, [](struct archive* a) {
        archive_write_set_format_zip(a);
        archive_write_set_options(a, "zip:encryption=zipcrypt");
        archive_write_set_passphrase(a, "opensesame");
    });
    const auto index = ArchiveIndex::read(file);
    EXPECT_TRUE(index->encrypted());
    EXPECT_EQ(namesOf(index->list("")), std::vector<std::string>{"plans.txt"});
    struct Row {
        std::string passphrase;
        bool ok;
    } rows[] = {{"", false}, {"wrong", false}, {"opensesame", true}};
    for (const Row& row : rows) {
        TempDir out;
        ExtractJob extract({file, "", {}, out.path(), row.passphrase, false});
        const JobResult r = runArchiveJob(extract);
        EXPECT_EQ(r.ok(), row.ok) << row.passphrase;
        if (row.ok) {
            EXPECT_EQ(readFile(out / "plans.txt"), "the plans");
        } else {
            EXPECT_TRUE(hasReport(r, JobProblem::WrongPassword) || hasReport(r, JobProblem::Damaged))
                << row.passphrase;
            EXPECT_TRUE(tree(out.path()).empty()) << row.passphrase;
        }
    }
}

TEST(ArchiveExtract, TruncatedArchiveGivesWhatCanBeReadAndSaysSo) {
    TempDir dir;
    std::vector<Raw> entries;
    for (int k = 0; k < 20; ++k)
        entries.push_back({"f" + std::to_string(k), AE_IFREG, std::string(20000, char('a' + k))});
    const std::string file = dir / "cut.tar";
    writeRaw(file, entries);
    ASSERT_EQ(truncate(file.c_str(), 200000), 0);  // about half

    const auto index = ArchiveIndex::read(file);
    EXPECT_TRUE(index->damaged());
    EXPECT_GT(index->items().size(), 3u);
    EXPECT_LT(index->items().size(), 20u);

    // The listing delivers those entries, then ends saying the archive is damaged.
    auto cache = std::make_shared<ArchiveIndexCache>();
    ArchiveListingSource source(ArchiveLocation::make(file), cache);
    std::mutex m;
    std::condition_variable cv;
    std::vector<DirEntry> rows;
    int error = -1;
    std::string message;
    source.start(
        [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(m);
            rows.insert(rows.end(), batch.begin(), batch.end());
        },
        [&](int e, const std::string& text) {
            std::lock_guard lock(m);
            error = e;
            message = text;
            cv.notify_all();
        });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return error != -1; }));
    }
    EXPECT_EQ(error, EIO);
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;
    EXPECT_EQ(rows.size(), index->items().size());

    TempDir out;
    ExtractJob extract({file, "", {}, out.path(), "", false});
    const JobResult r = runArchiveJob(extract);
    EXPECT_TRUE(hasReport(r, JobProblem::Damaged));
    EXPECT_EQ(readFile(out / "f0"), std::string(20000, 'a'));
    EXPECT_FALSE(leftoverParts(out.path()));
    // Every file there is whole: the one cut in the middle is not left half-written.
    for (const auto& [rel, node] : tree(out.path())) EXPECT_EQ(node.data.size(), 20000u) << rel;
}

TEST(ArchiveExtract, CancelledMidFileLeavesNoPartialFile) {
    TempDir dir;
    const std::string file = dir / "big.tar";
    writeRaw(file, {{"small.txt", AE_IFREG, "s"}, {"huge.bin", AE_IFREG, std::string(8 << 20, 'h')}});
    TempDir out;
    ExtractJob extract({file, "", {}, out.path(), "", false});
    // Progress comes at most every 200 ms: each report waits that long on the job's thread, so the
    // next one comes at the next step, until one comes from inside the big file's data.
    extract.onProgress([&](const JobProgress& p) {
        if (p.bytesDone > 1 && p.current.ends_with("huge.bin"))
            extract.cancel();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(210));
    });
    const JobResult r = runArchiveJob(extract);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(test::exists(out / "huge.bin"));
    EXPECT_FALSE(leftoverParts(out.path()));
}

TEST(ArchiveExtract, TakenNamesAreAskedAboutFirst) {
    TempDir dir;
    const std::string file = dir / "pack.zip";
    writeRaw(file,
             {{"a.txt", AE_IFREG, "new a"},
              {"b.txt", AE_IFREG, "new b"},
              {"d", AE_IFDIR, ""},
              {"d/in.txt", AE_IFREG, "new in"}},
             [](struct archive* a) { archive_write_set_format_zip(a); });
    struct Row {
        ClashChoice choice;
        std::string a, aCopy, in;
    } rows[] = {{ClashChoice::Skip, "old a", "", "old in"},
                {ClashChoice::KeepBoth, "old a", "new a", "old in"},
                {ClashChoice::Replace, "new a", "", "new in"}};
    for (const Row& row : rows) {
        TempDir out;
        writeFile(out / "a.txt", "old a");
        mkdir((out / "d").c_str(), 0755);
        writeFile(out / "d/in.txt", "old in");
        auto resolver = std::make_shared<test::ScriptedResolver>();
        resolver->onClash = [&](const ClashRequest&) { return ClashDecision{row.choice, false}; };
        ExtractJob extract({file, "", {}, out.path(), "", false});
        const JobResult r = runArchiveJob(extract, resolver);
        EXPECT_TRUE(r.reports.empty());
        EXPECT_EQ(readFile(out / "a.txt"), row.a);
        EXPECT_EQ(readFile(out / "b.txt"), "new b");
        EXPECT_EQ(test::exists(out / "a (2).txt") ? readFile(out / "a (2).txt") : std::string(), row.aCopy);
        EXPECT_EQ(readFile(out / "d/in.txt"), row.in);
        EXPECT_FALSE(leftoverParts(out.path()));
    }
}

TEST(ArchiveExtract, HereMakesAFolderForSeveralItemsAtTheTop) {
    TempDir dir;
    writeRaw(dir / "many.tar.gz", {{"a", AE_IFREG, "1"}, {"b", AE_IFREG, "2"}}, [](struct archive* a) {
        archive_write_set_format_pax_restricted(a);
        archive_write_add_filter_gzip(a);
    });
    writeRaw(dir / "one.tar", {{"only/x", AE_IFREG, "3"}});
    mkdir((dir / "many").c_str(), 0755);  // taken: the new folder gets another name
    ExtractJob many({dir / "many.tar.gz", "", {}, dir.path(), "", true});
    EXPECT_EQ(runArchiveJob(many).undo.created, std::vector<std::string>{dir / "many (2)"});
    EXPECT_EQ(readFile(dir / "many (2)/b"), "2");
    ExtractJob one({dir / "one.tar", "", {}, dir.path(), "", true});
    EXPECT_EQ(runArchiveJob(one).undo.created, std::vector<std::string>{dir / "only"});
    EXPECT_EQ(readFile(dir / "only/x"), "3");
}

TEST(ArchiveListing, FoldersInsideAndTheCacheFollowsTheFile) {
    TempDir dir;
    const std::string file = dir / "l.tar";
    writeRaw(file, {{"a/b/c.txt", AE_IFREG, "c"}, {"top.txt", AE_IFREG, "t"}});
    ArchiveIndexCache cache;
    const auto first = cache.get(file);
    EXPECT_EQ(cache.get(file), first);  // unchanged: read once
    EXPECT_EQ(namesOf(first->list("")), (std::vector<std::string>{"a", "top.txt"}));
    EXPECT_EQ(namesOf(first->list("a")), std::vector<std::string>{"b"});
    bool found = true;
    first->list("nope", &found);
    EXPECT_FALSE(found);
    writeRaw(file, {{"other.txt", AE_IFREG, "o"}});
    setMtime(file, 1000);
    const auto second = cache.get(file);
    EXPECT_NE(second, first);
    EXPECT_EQ(namesOf(second->list("")), std::vector<std::string>{"other.txt"});
}

}  // namespace
}  // namespace kv
