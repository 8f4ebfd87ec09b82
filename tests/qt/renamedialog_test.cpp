// Renaming several items with a mask: the table shows every new name and refusal first, Rename runs
// them as one job, and one Undo brings the old names back.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "filemanager_support.h"
#include "platform/qt/rename/renamedialog.h"

namespace kv::test {
namespace {

TEST(RenameDialog, MasksShowFirstThenRunAsOneJobAndUndoAsOne) {
    ViewFixture f;
    for (const char* name : {"b.jpg", "a.jpg", "c.jpg", "Holiday_003.txt"}) writeFile(f.dir / name, name);
    ASSERT_TRUE(f.show(f.dir.path()));
    f.view->currentView()->selectAll();
    QTest::keyClick(f.view->currentView(), Qt::Key_F2, Qt::ShiftModifier);
    RenameDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = findTopLevel<RenameDialog>()) != nullptr; }));

    dialog->nameMask()->setText("Holiday_[C:3]");
    std::map<std::string, std::pair<std::string, RenameRow::Status>> planned;
    for (const RenameRow& r : dialog->rows())
        planned[r.path.substr(r.path.rfind('/') + 1)] = {r.newName, r.status};
    // In the view's order (by name): a, b, c, then the .txt, which would keep its own name.
    EXPECT_EQ(planned["a.jpg"], std::pair(std::string("Holiday_001.jpg"), RenameRow::Status::Ready));
    EXPECT_EQ(planned["c.jpg"], std::pair(std::string("Holiday_003.jpg"), RenameRow::Status::Ready));
    EXPECT_EQ(planned["Holiday_003.txt"].first, "Holiday_004.txt");

    // One name for all: the three pictures clash with each other, the text file is free to take it.
    dialog->nameMask()->setText("x");
    int clashes = 0;
    for (const RenameRow& r : dialog->rows()) clashes += r.status == RenameRow::Status::Duplicate;
    EXPECT_EQ(clashes, 3);

    dialog->nameMask()->setText("Holiday_[C:3]");
    for (QAbstractButton* b : dialog->findChild<QDialogButtonBox*>()->buttons())
        if (b->text() == "Rename") b->click();
    for (const char* name : {"Holiday_001.jpg", "Holiday_002.jpg", "Holiday_003.jpg", "Holiday_004.txt"})
        EXPECT_TRUE(f.listed(name)) << name;
    EXPECT_EQ(readFile(f.dir / "Holiday_001.jpg"), "a.jpg");

    f.ops->undo(f.view.get());
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "Holiday_003.txt"})
        EXPECT_TRUE(f.listed(name)) << name;
}

}  // namespace
}  // namespace kv::test
