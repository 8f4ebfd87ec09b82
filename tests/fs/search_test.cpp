#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "fs/tempdir.h"
#include "fs/threadcount.h"
#include "platform/fs/listing/namefilter.h"
#include "platform/fs/listing/namematcher.h"
#include "platform/fs/search/contentmatcher.h"
#include "platform/fs/search/searchlistingsource.h"
#include "platform/fs/search/searchwalk.h"

namespace kv {
namespace {

using test::TempDir;
using test::writeFile;
using Mode = NameMatcher::Mode;

TEST(NameMatcher, MatchesByModeCaseAndAccents) {
    struct Row {
        const char* pattern;
        Mode mode;
        bool caseSensitive;
        const char* name;
        bool expected;
    };
    const Row rows[] = {
        {"rep", Mode::Substring, false, "Report.txt", true},
        {"PORT", Mode::Substring, false, "Report.txt", true},
        {"REP", Mode::Substring, true, "Report.txt", false},
        {"Rep", Mode::Substring, true, "Report.txt", true},
        {"xyz", Mode::Substring, false, "Report.txt", false},
        // Accents never count; case only when asked, also for letters outside ASCII.
        {"emile", Mode::Substring, false, "\xC3\x89mile.doc", true},
        {"\xC3\x89mile", Mode::Substring, false, "emile", true},
        {"\xC3\xA9mile", Mode::Substring, false, "\xC3\x89MILE", true},
        {"e", Mode::Substring, true, "\xC3\x89", false},
        {"E", Mode::Substring, true, "\xC3\x89", true},
        {"file", Mode::Substring, false, "\xEF\xAC\x81le", true},  // a ligature is its letters
        // Full case folding: "ß" and "ẞ" are "ss" either way round; a Greek final sigma is a sigma, and
        // an iota subscript an iota.
        {"strasse", Mode::Substring, false,
         "Stra\xC3\x9F"
         "e.txt",
         true},
        {"stra\xC3\x9F"
         "e",
         Mode::Substring, false, "STRASSE", true},
        {"strasse", Mode::Substring, false,
         "STRA\xE1\xBA\x9E"
         "E",
         true},
        {"Strasse", Mode::Substring, true,
         "Stra\xC3\x9F"
         "e",
         true},
        {"STRASSE", Mode::Substring, true,
         "Stra\xC3\x9F"
         "e",
         false},
        {"stra*e.txt", Mode::Wildcard, false,
         "Stra\xC3\x9F"
         "e.txt",
         true},
        {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x9F\xCE\xA3", Mode::Substring, false,
         "\xCF\x83\xCE\xBF\xCF\x86\xCE\xBF\xCF\x82", true},
        {"\xCE\xB1\xCE\xB9", Mode::Substring, false, "\xE1\xBE\xB3", true},
        {"naive", Mode::Substring, false, "Na\xC3\xAFve", true},
        // Whole-name patterns.
        {"*.TXT", Mode::Wildcard, false, "a.txt", true},
        {"*.txt", Mode::Wildcard, false, "a.txt.bak", false},
        {"a?c", Mode::Wildcard, false, "abc", true},
        {"a?c", Mode::Wildcard, false,
         "a\xC3\xA9"
         "c",
         true},
        {"a?c", Mode::Wildcard, false, "abbc", false},
        {"*a*b*", Mode::Wildcard, false, "xxAyyBzz", true},
        {"*a*b", Mode::Wildcard, false, "xxAyyBzz", false},
        {"***", Mode::Wildcard, false, "anything", true},
        {"r*t.txt", Mode::Wildcard, true, "Report.txt", false},
        // Regular expressions, found anywhere in the name.
        {"^r.*\\.txt$", Mode::Regex, false, "Report.TXT", true},
        {"^r.*\\.txt$", Mode::Regex, true, "Report.TXT", false},
        {"\\d{3}", Mode::Regex, false, "file123", true},
        {"^emile", Mode::Regex, false, "\xC3\x89mile", true},
        // Names that are not UTF-8 are compared byte for byte.
        {"caf", Mode::Substring, false, "CAF\xE9.txt", true},
        {"caf\xC3\xA9", Mode::Substring, false, "caf\xE9", false},
        {"\xDF", Mode::Substring, false,
         "STRA\xDF"
         "E",
         true},
        {"strasse", Mode::Substring, false,
         "stra\xDF"
         "e",
         false},
        {"*.txt", Mode::Wildcard, false, "\xFF\xFE.txt", true},
        {"?.txt", Mode::Wildcard, false, "\xFF.txt", true},
        {"", Mode::Substring, false, "whatever", true},
    };
    for (const Row& r : rows) {
        const NameMatcher m(r.pattern, r.mode, r.caseSensitive);
        EXPECT_TRUE(m.isValid()) << r.pattern;
        EXPECT_EQ(m.matches(r.name), r.expected) << "pattern " << r.pattern << " name " << r.name;
        // The prepared form (kept by the filter for names that are not ASCII) agrees.
        EXPECT_EQ(m.matchesPrepared(m.prepared(r.name)), r.expected) << r.pattern << " / " << r.name;
    }
    EXPECT_EQ(NameMatcher::autoMode("a*b"), Mode::Wildcard);
    EXPECT_EQ(NameMatcher::autoMode("a?b"), Mode::Wildcard);
    EXPECT_EQ(NameMatcher::autoMode("ab"), Mode::Substring);
    const NameMatcher bad("(", Mode::Regex, false);
    EXPECT_FALSE(bad.isValid());
    EXPECT_FALSE(bad.matches("("));
    EXPECT_FALSE(SearchWalk::check({.name = "(", .nameMode = SearchQuery::NameMode::Regex}).empty());
}

TEST(NameFilter, TestsTheBaseNameAndKeepsFoldedNames) {
    NameFilter filter;
    EXPECT_FALSE(filter.predicate(""));
    auto f = filter.predicate("EMI");
    DirEntry e;
    for (const auto& [name, expected] : std::vector<std::pair<std::string, bool>>{
             {"\xC3\x89mile.txt", true}, {"docs/emi.txt", true}, {"emi/report.txt", false}, {"x", false}}) {
        e.name = name;
        EXPECT_EQ(f(e), expected) << name;
        EXPECT_EQ(f(e), expected) << name << " (again, from the kept form)";
    }
    e.name =
        "docs/Stra\xC3\x9F"
        "e.txt";
    EXPECT_TRUE(filter.predicate("STRASSE")(e));
    e.name = "a/b.txt";
    EXPECT_TRUE(filter.predicate("*.txt")(e));
    EXPECT_FALSE(filter.predicate("a*")(e));
}

// A tree with every kind of thing a search must tell apart.
class SearchTree : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        mkdir((dir / "sub").c_str(), 0755);
        mkdir((dir / "sub/deep").c_str(), 0755);
        mkdir((dir / ".hidden").c_str(), 0755);
        writeFile(dir / "Alpha.txt", "say hello world\n");
        writeFile(dir / "sub/alpha2.TXT", "nothing here\n");
        writeFile(dir / "sub/deep/\xC3\x85lpha.md", "HELLO   there\n");
        writeFile(dir / "bin.dat", std::string("\0hello", 6));
        writeFile(dir / "big.txt", std::string(8000, 'x') + "hello");
        writeFile(dir / ".hidden/alpha.txt", "hello");
        // Links back up the tree would loop for ever if followed.
        ASSERT_EQ(symlink(".", (dir / "loop").c_str()), 0);
        ASSERT_EQ(symlink("../sub", (dir / "sub/link").c_str()), 0);
        ASSERT_EQ(symlink("Alpha.txt", (dir / "linkfile").c_str()), 0);
        // Ten days old.
        const timeval old[2] = {{time(nullptr) - 10 * 86400, 0}, {time(nullptr) - 10 * 86400, 0}};
        utimes((dir / "sub/alpha2.TXT").c_str(), old);
    }

    std::set<std::string> run(const SearchQuery& q, std::shared_ptr<SearchStats> stats = {}) {
        std::vector<DirEntry> out;
        EXPECT_EQ(SearchWalk::runNow(dir.path(), q, out, std::move(stats)), 0);
        std::set<std::string> names;
        for (const DirEntry& e : out) EXPECT_TRUE(names.insert(e.name).second) << "twice: " << e.name;
        return names;
    }

    TempDir dir;
};

TEST_F(SearchTree, FindsByNameContentKindSizeAndAge) {
    using Set = std::set<std::string>;
    const std::int64_t twoDaysAgo =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            (std::chrono::system_clock::now() - std::chrono::hours(48)).time_since_epoch())
            .count();
    struct Row {
        const char* what;
        SearchQuery query;
        Set expected;
    };
    const Row rows[] = {
        {"substring", {.name = "alpha"}, {"Alpha.txt", "sub/alpha2.TXT", "sub/deep/\xC3\x85lpha.md"}},
        {"hidden too",
         {.name = "alpha", .includeHidden = true},
         {"Alpha.txt", "sub/alpha2.TXT", "sub/deep/\xC3\x85lpha.md", ".hidden/alpha.txt"}},
        {"wildcard", {.name = "*.txt"}, {"Alpha.txt", "sub/alpha2.TXT", "big.txt"}},
        {"case", {.name = "Alpha", .caseSensitive = true}, {"Alpha.txt", "sub/deep/\xC3\x85lpha.md"}},
        {"regex", {.name = "^a.*\\d", .nameMode = SearchQuery::NameMode::Regex}, {"sub/alpha2.TXT"}},
        {"links", {.name = "link"}, {"linkfile", "sub/link"}},
        // Binary files and files over the limit are not read.
        {"content", {.content = "hello", .maxContentSize = 4096}, {"Alpha.txt", "sub/deep/\xC3\x85lpha.md"}},
        {"content, limit", {.content = "hello"}, {"Alpha.txt", "sub/deep/\xC3\x85lpha.md", "big.txt"}},
        {"content, case", {.caseSensitive = true, .content = "hello", .maxContentSize = 4096}, {"Alpha.txt"}},
        {"content regex", {.content = "HEL+O\\s+there", .contentRegex = true}, {"sub/deep/\xC3\x85lpha.md"}},
        {"content and name", {.name = "*.md", .content = "hello"}, {"sub/deep/\xC3\x85lpha.md"}},
        {"folders", {.kind = SearchQuery::Kind::FoldersOnly}, {"sub", "sub/deep", "loop", "sub/link"}},
        {"files by size", {.kind = SearchQuery::Kind::FilesOnly, .minSize = 1000}, {"big.txt"}},
        // A size range leaves folders out: they have no size of their own.
        {"size range",
         {.name = "a", .minSize = 14, .maxSize = 100},
         {"Alpha.txt", "sub/deep/\xC3\x85lpha.md"}},
        {"recent",
         {.name = "alpha", .modifiedSinceNs = twoDaysAgo},
         {"Alpha.txt", "sub/deep/\xC3\x85lpha.md"}},
    };
    for (const Row& r : rows) EXPECT_EQ(run(r.query), r.expected) << r.what;

    auto stats = std::make_shared<SearchStats>();
    std::vector<DirEntry> out;
    ASSERT_EQ(SearchWalk::runNow(dir.path(), {.name = "deep"}, out, stats), 0);
    ASSERT_EQ(out.size(), 1u);
    // Named by its path below the start, sorted and shown by its own name.
    EXPECT_EQ(out[0].name, "sub/deep");
    EXPECT_TRUE(out[0].isDir);
    EXPECT_EQ(out[0].sortKey, "deep");
    EXPECT_EQ(stats->folders, 3u);  // the start, sub, sub/deep: no link followed, nothing hidden
    EXPECT_EQ(stats->found, 1u);
    EXPECT_TRUE(stats->finished);

    EXPECT_EQ(SearchWalk::runNow(dir / "missing", {}, out), ENOENT);
}

TEST_F(SearchTree, CountsUnreadableFolders) {
    chmod((dir / "sub/deep").c_str(), 0);
    auto check = [&] {
        auto stats = std::make_shared<SearchStats>();
        return run({.name = "alpha"}, stats) == std::set<std::string>{"Alpha.txt", "sub/alpha2.TXT"} &&
               stats->unreadable == 1u && stats->unreadablePaths() == std::vector<std::string>{"sub/deep"};
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    // Root reads every folder: the search runs in a child that has become nobody.
    chmod(dir.path().c_str(), 0755);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(ContentMatcher, FindsTextAcrossReadsAndSkipsBinaries) {
    TempDir dir;
    // The text straddles the first 1 MiB read.
    std::string big(1 << 20, 'a');
    big.replace((1 << 20) - 3, 3, "nee");
    big += "dle and more";
    writeFile(dir / "big", big);
    writeFile(dir / "late-nul", std::string(5000, 'b') + std::string(1, '\0') + "needle");
    writeFile(dir / "fifo-free", "NEEDLE");
    const int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ContentMatcher plain("needle", false, false, 1ull << 30);
    EXPECT_TRUE(plain.matchesFile(fd, "big"));
    EXPECT_TRUE(plain.matchesFile(fd, "late-nul"));  // only the first block decides
    EXPECT_TRUE(plain.matchesFile(fd, "fifo-free"));
    EXPECT_FALSE(plain.matchesFile(fd, "missing"));
    ContentMatcher exact("needle", false, true, 1ull << 30);
    EXPECT_FALSE(exact.matchesFile(fd, "fifo-free"));
    ContentMatcher small("needle", false, false, 1000);
    EXPECT_FALSE(small.matchesFile(fd, "big"));
    ContentMatcher accented("\xC3\x89T\xC3\x89", false, false, 1000);
    EXPECT_TRUE(accented.matchesText("l'\xC3\xA9t\xC3\xA9", 7));
    mkfifo((dir / "fifo").c_str(), 0600);
    EXPECT_FALSE(plain.matchesFile(fd, "fifo"));  // not read: it would block
    close(fd);
}

TEST(SearchListingSource, CancelStopsCallbacksAndLeavesNoThread) {
    TempDir dir;
    for (int f = 0; f < 400; ++f) {
        const std::string folder = dir / ("f" + std::to_string(f));
        mkdir(folder.c_str(), 0755);
        for (int i = 0; i < 20; ++i) writeFile(folder + "/match" + std::to_string(i), "x");
    }
    // A sanitizer's runtime starts a thread of its own with the first thread made (before that call
    // returns): made here first.
    std::thread([] {}).join();
    const int before = test::threadCount();
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> gone{false};
        std::atomic<int> late{0};
        std::atomic<int> batches{0};
        {
            SearchListingSource source(dir.path(), {.name = "match"}, {}, 3);
            source.start(
                [&](std::vector<DirEntry>&&) {
                    if (gone) ++late;
                    ++batches;
                },
                [&](int, const std::string&) {
                    if (gone) ++late;
                });
            // Mid-walk on some rounds, at once on others.
            if (round % 2)
                while (batches == 0) std::this_thread::yield();
            source.cancel();
        }
        gone = true;
        // Once the walk's threads have ended, anything late would have been called.
        EXPECT_TRUE(test::waitForThreads(before));
        EXPECT_EQ(late, 0);
    }
    EXPECT_LE(test::threadCount(), before);
}

TEST_F(SearchTree, StreamsAndLooksAtResultsAgain) {
    SearchListingSource source(dir.path(), {.name = "alpha"});
    std::mutex mutex;
    std::condition_variable cv;
    std::set<std::string> names;
    bool done = false;
    source.start(
        [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(mutex);
            for (auto& e : batch) names.insert(e.name);
        },
        [&](int error, const std::string&) {
            std::lock_guard lock(mutex);
            EXPECT_EQ(error, 0);
            done = true;
            cv.notify_all();
        });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
        EXPECT_EQ(names.size(), 3u);
    }
    // One deleted, one renamed to a name that no longer matches, one renamed within the match.
    unlink((dir / "Alpha.txt").c_str());
    rename((dir / "sub/alpha2.TXT").c_str(), (dir / "sub/beta.txt").c_str());
    writeFile(dir / "sub/alpha3.txt", "");
    std::vector<std::string> found, gone;
    done = false;
    source.refreshNames(
        {"Alpha.txt", "sub/alpha2.TXT", "sub/beta.txt", "sub/alpha3.txt", "sub/deep/\xC3\x85lpha.md", "../x"},
        [&](int error, std::vector<DirEntry>&& f, std::vector<std::string>&& g) {
            std::lock_guard lock(mutex);
            EXPECT_EQ(error, 0);
            for (auto& e : f) found.push_back(e.name);
            gone = std::move(g);
            done = true;
            cv.notify_all();
        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
    EXPECT_EQ(found, (std::vector<std::string>{"sub/alpha3.txt", "sub/deep/\xC3\x85lpha.md"}));
    EXPECT_EQ(gone, (std::vector<std::string>{"Alpha.txt", "sub/alpha2.TXT", "sub/beta.txt", "../x"}));
}

}  // namespace
}  // namespace kv
