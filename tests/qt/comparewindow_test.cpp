// Comparing two folders from a folder view's menu: the rows of each kind, an action changed by its
// key, Run makes the two alike through the file operations, and one Undo brings the right back.
#include <fcntl.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QTableView>

#include "filemanager_support.h"
#include "platform/qt/compare/comparemodel.h"
#include "platform/qt/compare/comparewindow.h"
#include "platform/qt/folderview/folderactions.h"

namespace kv::test {
namespace {

void put(const std::string& path, const std::string& data, std::int64_t seconds) {
    writeFile(path, data);
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(CompareWindow, FiveDifferencesMadeEqualByRunAndUndone) {
    ViewFixture f;
    const std::string left = f.dir / "left", right = f.dir / "right";
    ::mkdir(left.c_str(), 0755);
    ::mkdir(right.c_str(), 0755);
    const std::int64_t t0 = 1'700'000'000;
    put(left + "/same.txt", "same", t0);
    put(right + "/same.txt", "same", t0);
    put(left + "/onlyLeft.txt", "l", t0);
    put(right + "/onlyRight.txt", "r", t0);
    put(left + "/newer.txt", "new left", t0 + 60);
    put(right + "/newer.txt", "old", t0);
    put(left + "/older.txt", "old", t0);
    put(right + "/older.txt", "new right", t0 + 60);
    put(left + "/differs.txt", "left", t0);
    put(right + "/differs.txt", "right!", t0);
    f.ops->setResolverFactory([] {
        struct Replace : JobResolver {
            void resolveClash(const ClashRequest&, ClashReply reply) override {
                reply({ClashChoice::Replace, true});
            }
            void resolveError(const ErrorRequest&, ErrorReply reply) override {
                reply({ErrorChoice::Skip, false});
            }
        };
        return std::make_shared<Replace>();
    });

    ASSERT_TRUE(f.show(left));
    FolderActions::find("compareFolders")->run(*f.view);
    CompareWindow* window = nullptr;
    ASSERT_TRUE(waitFor([&] { return (window = findTopLevel<CompareWindow>()) != nullptr; }));
    auto* rightEdit = window->findChild<QLineEdit*>("rightFolder");
    EXPECT_EQ(window->findChild<QLineEdit*>("leftFolder")->text().toStdString(), left);
    rightEdit->setText(QString::fromStdString(right));

    window->compare();
    CompareModel* model = window->model();
    ASSERT_TRUE(waitFor([&] { return !window->isComparing(); }));
    for (CompareKind kind : {CompareKind::OnlyLeft, CompareKind::OnlyRight, CompareKind::NewerLeft,
                             CompareKind::NewerRight, CompareKind::Same, CompareKind::Differs})
        EXPECT_EQ(model->count(kind), 1) << CompareModel::kindText(kind).toStdString();
    ASSERT_EQ(model->rowCount(), 5);  // the same file is hidden at first

    // The row that differs gets copied to the right too, by its key.
    int differs = -1;
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->rowAt(r).kind == CompareKind::Differs) differs = r;
    ASSERT_GE(differs, 0);
    window->table()->setFocus();
    window->table()->selectRow(differs);
    QTest::keyClick(window->table(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(model->rowAt(differs).action, SyncAction::CopyRight);

    window->run();
    // When it is done the window compares again: everything is the same.
    ASSERT_TRUE(waitFor(
        [&] { return model->count(CompareKind::Same) == 6 && model->count(CompareKind::OnlyLeft) == 0; }));
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(readFile(right + "/differs.txt"), "left");
    EXPECT_EQ(readFile(left + "/older.txt"), "new right");

    f.ops->undo(window);
    ASSERT_TRUE(waitFor([&] { return readFile(right + "/differs.txt") == "right!"; }));
    EXPECT_TRUE(f.idle());
    EXPECT_EQ(readFile(right + "/newer.txt"), "old");
    EXPECT_FALSE(exists(right + "/onlyLeft.txt"));
    window->close();
}

}  // namespace
}  // namespace kv::test
