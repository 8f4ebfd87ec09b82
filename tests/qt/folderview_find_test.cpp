#include <QCheckBox>
#include <QLineEdit>
#include <QTreeView>

#include "filemanager_support.h"
#include "platform/qt/filterbar.h"
#include "platform/qt/searchbar.h"
#include "platform/qt/statusline.h"

namespace kv::test {
namespace {

QStringList shownNames(const FolderModel& m) {
    QStringList names;
    for (int row = 0; row < m.rowCount(); ++row) names << FolderModel::displayName(m.entryAt(row).name);
    names.sort();
    return names;
}

TEST(FolderViewFind, TheFilterNarrowsTheRowsFollowsTheDiskAndLeavesWithTheFolder) {
    ViewFixture f;
    for (const char* name :
         {"report.txt", "R\xC3\xA9sum\xC3\xA9.doc", "notes.md", "rapport.txt", "other.bin"})
        writeFile(f.dir / name, "x");
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir.path()));
    FolderModel* m = f.view->model();
    f.view->selectAll();
    ASSERT_EQ(f.view->selectedPaths().size(), 6);

    QTest::keyClick(f.view->currentView(), Qt::Key_I, Qt::ControlModifier);
    QLineEdit* field = f.view->filterBar()->field();
    ASSERT_TRUE(f.view->filterBar()->isVisible());
    ASSERT_EQ(f.view->window()->focusWidget(), field);  // the window need not be active
    QTest::keyClicks(field, "RE");
    // Case and accents do not count; only the shown rows stay selected, so no command reaches the others.
    EXPECT_EQ(shownNames(*m), (QStringList{"R\xC3\xA9sum\xC3\xA9.doc", "report.txt"}));
    EXPECT_EQ(f.view->selectedPaths().size(), 2);
    EXPECT_EQ(f.view->statusLine()->countsText(), "2 of 6 shown");

    // The disk changes while filtered: only a matching name shows.
    writeFile(f.dir / "zre.txt", "x");
    writeFile(f.dir / "nomatch", "x");
    ASSERT_TRUE(f.listed("zre.txt"));
    ASSERT_TRUE(waitFor([&] { return f.view->statusLine()->countsText() == "3 of 8 shown"; }))
        << f.view->statusLine()->countsText().toStdString();
    EXPECT_LT(m->rowOfName("nomatch"), 0);

    field->setText("*.TXT");
    EXPECT_EQ(shownNames(*m), (QStringList{"rapport.txt", "report.txt", "zre.txt"}));
    field->setText("zzz");
    EXPECT_EQ(m->rowCount(), 0);

    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(f.view->filterBar()->isVisible());
    EXPECT_TRUE(m->nameFilter().isEmpty());
    EXPECT_EQ(m->rowCount(), 8);

    // The filter is the folder's: another folder starts without it.
    f.view->showFilter();
    field->setText("report");
    EXPECT_EQ(m->rowCount(), 1);
    ASSERT_TRUE(f.show(f.dir / "sub"));
    EXPECT_FALSE(f.view->filterBar()->isVisible());
    EXPECT_TRUE(m->nameFilter().isEmpty());
}

TEST(FolderViewFind, ASearchShowsResultsThatCommandsActOn) {
    ViewFixture f;
    for (const char* folder : {"a", "a/b", "c", "needle-dir"}) ::mkdir((f.dir / folder).c_str(), 0755);
    writeFile(f.dir / "a/needle1.txt", "one");
    writeFile(f.dir / "a/b/Needle2.txt", "two");
    writeFile(f.dir / "c/other.txt", "a needle inside");
    ASSERT_TRUE(f.show(f.dir.path()));
    FolderModel* m = f.view->model();
    auto* details = qobject_cast<QTreeView*>(f.view->currentView());
    ASSERT_TRUE(details->isColumnHidden(FolderModel::FolderColumn));

    // Ctrl+F, the text, Enter.
    QTest::keyClick(f.view->currentView(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit* field = f.view->searchBar()->field();
    ASSERT_EQ(f.view->window()->focusWidget(), field);  // the window need not be active
    QTest::keyClicks(field, "needle");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(f.view->isSearching());
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), (QStringList{"a/b/Needle2.txt", "a/needle1.txt", "needle-dir"}));
    EXPECT_FALSE(details->isColumnHidden(FolderModel::FolderColumn));
    const int row = m->rowOfName("a/b/Needle2.txt");
    EXPECT_EQ(m->data(m->index(row, FolderModel::NameColumn), Qt::DisplayRole).toString(), "Needle2.txt");
    EXPECT_EQ(m->data(m->index(row, FolderModel::FolderColumn), Qt::DisplayRole).toString(), "a/b");
    EXPECT_EQ(f.view->statusLine()->countsText(), "3 found in 5 folders");

    // Commands get the results' own paths.
    ASSERT_TRUE(f.view->selectName("a/b/Needle2.txt"));
    EXPECT_EQ(f.view->selectedPaths(),
              QList<QByteArray>{QByteArray::fromStdString(f.dir / "a/b/Needle2.txt")});
    f.view->deleteSelection(false);
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(waitFor([&] { return m->rowOfName("a/b/Needle2.txt") < 0; }));
    EXPECT_FALSE(exists(f.dir / "a/b/Needle2.txt"));

    // A rename through the name editor's path: the row follows under its new name, still a result.
    m->setData(m->index(m->rowOfName("a/needle1.txt"), FolderModel::NameColumn), "needle-renamed.txt",
               Qt::EditRole);
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(f.listed("a/needle-renamed.txt"));
    EXPECT_TRUE(exists(f.dir / "a/needle-renamed.txt"));
    EXPECT_TRUE(waitFor([&] { return m->rowOfName("a/needle1.txt") < 0; }));
    EXPECT_EQ(f.view->selectedPaths(),
              QList<QByteArray>{QByteArray::fromStdString(f.dir / "a/needle-renamed.txt")});

    // By content, from the same start.
    f.view->startSearch({.content = "needle inside"});
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), QStringList{"c/other.txt"});

    // Escape leaves the results for the folder.
    f.view->escape();
    EXPECT_FALSE(f.view->isSearching());
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), (QStringList{"a", "c", "needle-dir"}));
    EXPECT_TRUE(details->isColumnHidden(FolderModel::FolderColumn));
    EXPECT_FALSE(f.view->searchBar()->isVisible());
}

}  // namespace
}  // namespace kv::test
