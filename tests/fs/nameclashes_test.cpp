#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/fs/operations/renamejob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(NameClashes, LetterCaseAloneClashes) {
    TempDir dir;
    writeFile(dir / "Report.txt", "");
    writeFile(dir / "notes", "");
    FsOps ops;
    NameClashes names(ops);
    struct Row {
        const char* name;
        const char* except;
        const char* clash;  // nullptr: none
    } rows[] = {
        {"Report.txt", "", "Report.txt"}, {"report.txt", "", "Report.txt"},
        {"REPORT.TXT", "", "Report.txt"}, {"Report.txt2", "", nullptr},
        {"NOTES", "", "notes"},           {"report.txt", "Report.txt", nullptr},
        {"other", "", nullptr},
    };
    for (const Row& row : rows) {
        const std::string* found = names.find(dir.path(), row.name, row.except);
        if (row.clash) {
            ASSERT_TRUE(found) << row.name;
            EXPECT_EQ(*found, row.clash) << row.name;
        } else {
            EXPECT_FALSE(found) << row.name << " against " << *found;
        }
    }
    // What the caller makes and removes counts without reading the folder again.
    names.noteCreated(dir / "made");
    EXPECT_TRUE(names.taken(dir.path(), "MADE"));
    names.noteRemoved(dir / "Report.txt");
    EXPECT_FALSE(names.taken(dir.path(), "report.txt"));
    names.noteEmptyFolder(dir / "new");
    EXPECT_FALSE(names.taken(dir / "new", "anything"));
}

// Keep Both must offer a name that does not clash in letter case either.
TEST(NameClashes, RenameSuggestsANameFreeInEveryCase) {
    TempDir dir;
    writeFile(dir / "one", "1");
    writeFile(dir / "Two", "2");
    writeFile(dir / "TWO (2)", "x");
    auto resolver = std::make_shared<test::ScriptedResolver>();
    resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::KeepBoth, false}; };
    RenameJob job(dir / "one", "two");
    job.setResolver(resolver);
    job.start();
    job.wait();
    ASSERT_EQ(resolver->clashes.size(), 1u);
    EXPECT_TRUE(resolver->clashes[0].caseOnly);
    EXPECT_EQ(resolver->clashes[0].suggestedName, "two (3)");
    EXPECT_TRUE(job.result().ok());
    EXPECT_EQ(readFile(dir / "two (3)"), "1");
    EXPECT_EQ(readFile(dir / "TWO (2)"), "x");
}

TEST(NameClashes, NewFolderSkipsNamesTakenInAnyCase) {
    TempDir dir;
    mkdir((dir / "NEW FOLDER").c_str(), 0755);
    writeFile(dir / "new folder (2)", "");
    NewFolderJob job(dir.path());
    job.start();
    job.wait();
    ASSERT_EQ(job.result().undo.created.size(), 1u);
    EXPECT_EQ(job.result().undo.created[0], dir / "New Folder (3)");
}

}  // namespace
}  // namespace kv
