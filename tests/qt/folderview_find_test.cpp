#include <sys/time.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeView>

#include "filemanager_support.h"
#include "platform/fs/core/paths.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/search/filterbar.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/search/searchbar.h"
#include "platform/qt/search/searchfilters.h"

namespace kv::test {
namespace {

QStringList shownNames(const FolderModel& m) {
    QStringList names;
    for (int row = 0; row < m.rowCount(); ++row) names << NameText::shown(m.entryAt(row).name);
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
    QLineEdit* field = f.view->find()->filterBar()->field();
    ASSERT_TRUE(f.view->find()->filterBar()->isVisible());
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
    EXPECT_FALSE(f.view->find()->filterBar()->isVisible());
    EXPECT_TRUE(m->nameFilter().isEmpty());
    EXPECT_EQ(m->rowCount(), 8);

    // The filter is the folder's: another folder starts without it.
    f.view->find()->showFilter();
    field->setText("report");
    EXPECT_EQ(m->rowCount(), 1);
    ASSERT_TRUE(f.show(f.dir / "sub"));
    EXPECT_FALSE(f.view->find()->filterBar()->isVisible());
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
    QLineEdit* field = f.view->find()->searchBar()->field();
    ASSERT_EQ(f.view->window()->focusWidget(), field);  // the window need not be active
    QTest::keyClicks(field, "needle");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(f.view->isSearching());
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), (QStringList{"a/b/Needle2.txt", "a/needle1.txt", "needle-dir"}));
    EXPECT_FALSE(details->isColumnHidden(FolderModel::FolderColumn));
    const int row = m->rowOfName("a/b/Needle2.txt");
    EXPECT_EQ(m->data(m->index(row, FolderModel::NameColumn), Qt::DisplayRole).toString(), "Needle2.txt");
    // Every result's folder reads from the searched folder on, the top's as a sub-folder's.
    const QString top = NameText::shown(paths::baseName(f.dir.path()));
    EXPECT_EQ(m->data(m->index(row, FolderModel::FolderColumn), Qt::DisplayRole).toString(), top + "/a/b");
    EXPECT_EQ(m->data(m->index(m->rowOfName("a/needle1.txt"), FolderModel::FolderColumn), Qt::DisplayRole)
                  .toString(),
              top + "/a");
    EXPECT_EQ(
        m->data(m->index(m->rowOfName("needle-dir"), FolderModel::FolderColumn), Qt::DisplayRole).toString(),
        top);
    EXPECT_EQ(m->data(m->index(row, FolderModel::FolderColumn), Qt::ToolTipRole).toString(),
              QString::fromStdString(f.dir / "a/b"));
    EXPECT_EQ(f.view->statusLine()->countsText(), "3 found in 5 folders");

    // Commands get the results' own paths.
    ASSERT_TRUE(f.view->selectName("a/b/Needle2.txt"));
    EXPECT_EQ(f.view->selectedPaths(),
              QList<QByteArray>{QByteArray::fromStdString(f.dir / "a/b/Needle2.txt")});
    FolderCommands::deleteSelection(*f.view, false);
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

    // Another pane moves a result away (as a drop there would): the results follow, though unwatched.
    std::unique_ptr<FolderView> other = f.makeView();
    ASSERT_TRUE(f.show(*other, f.dir / "c"));
    f.ops->move({QByteArray::fromStdString(f.dir / "a/needle-renamed.txt")},
                QByteArray::fromStdString(f.dir / "c"), other.get(), {});
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(waitFor([&] { return m->rowOfName("a/needle-renamed.txt") < 0; }))
        << "a result moved away by another pane's job goes";

    // By content, from the same start.
    f.view->startSearch({.content = "needle inside"});
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), QStringList{"c/other.txt"});

    // Escape leaves the results for the folder.
    f.view->find()->escape();
    EXPECT_FALSE(f.view->isSearching());
    ASSERT_TRUE(waitFor([&] { return !m->isLoading(); }));
    EXPECT_EQ(shownNames(*m), (QStringList{"a", "c", "needle-dir"}));
    EXPECT_TRUE(details->isColumnHidden(FolderModel::FolderColumn));
    EXPECT_FALSE(f.view->find()->searchBar()->isVisible());
}

TEST(SearchFilters, ReadSizesAsTheProgramWritesThem) {
    const std::string huge(5000, '9');
    const std::pair<const char*, std::optional<quint64>> rows[] = {
        {"", std::nullopt},
        {"0", 0},
        {"512", 512},
        {"512 B", 512},
        {"1k", 1024},
        {"1 KiB", 1024},
        {"2.5 MB", 2621440},
        {"2,5M", 2621440},
        {" 1 gib ", 1073741824},
        {"3 TB", 3ull << 40},
        {"15 EiB", 15ull << 60},
        {"16 EiB", std::nullopt},  // past what 64 bits hold
        {"-1", std::nullopt},
        {"12 zz", std::nullopt},
        {"1 KiBB", std::nullopt},
        {"MB", std::nullopt},
        {huge.c_str(), std::nullopt},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(SearchFilters::sizeFromText(QString::fromLatin1(text)), expected) << text;
}

TEST(FolderViewFind, TheFiltersRowNarrowsBySizeKindAndAgeAndRefusesABadSize) {
    ViewFixture f;
    ::mkdir((f.dir / "logs").c_str(), 0755);
    writeFile(f.dir / "logs/small.log", "x");
    writeFile(f.dir / "logs/big.log", std::string(4096, 'x'));
    writeFile(f.dir / "old.log", std::string(4096, 'x'));
    const timeval old[2] = {{time(nullptr) - 40 * 86400, 0}, {time(nullptr) - 40 * 86400, 0}};
    ::utimes((f.dir / "old.log").c_str(), old);
    ASSERT_TRUE(f.show(f.dir.path()));
    FolderModel* m = f.view->model();
    SearchBar* bar = f.view->find()->searchBar();
    SearchFilters* filters = bar->filters();
    f.view->find()->showSearchBar();
    EXPECT_FALSE(filters->isVisible()) << "the row opens on request";
    bar->filtersButton()->click();
    ASSERT_TRUE(filters->isVisible());

    struct Row {
        const char* what;
        const char* name;
        int kind;
        int modified;
        const char* min;
        const char* max;
        QStringList expected;
        const char* button;
    };
    const Row rows[] = {
        {"no filter", "l", 0, 0, "", "", {"logs", "logs/big.log", "logs/small.log", "old.log"}, "Filters"},
        {"folders", "l", 2, 0, "", "", {"logs"}, "Filters (1)"},
        {"files from 1 KiB", "l", 0, 0, "1 KiB", "", {"logs/big.log", "old.log"}, "Filters (1)"},
        {"up to 1 KiB, files only", "l", 1, 0, "", "1k", {"logs/small.log"}, "Filters (2)"},
        {"modified this month", "l", 1, 3, "", "", {"logs/big.log", "logs/small.log"}, "Filters (2)"},
        {"today and big, no name", "", 0, 1, "4096", "4096", {"logs/big.log"}, "Filters (2)"},
    };
    for (const Row& r : rows) {
        bar->field()->setText(QString::fromLatin1(r.name));
        filters->kindBox()->setCurrentIndex(r.kind);
        filters->modifiedBox()->setCurrentIndex(r.modified);
        filters->minSizeField()->setText(QString::fromLatin1(r.min));
        filters->maxSizeField()->setText(QString::fromLatin1(r.max));
        EXPECT_EQ(bar->filtersButton()->text(), r.button) << r.what;
        QTest::keyClick(filters->minSizeField(), Qt::Key_Return);  // Enter in a size starts it too
        ASSERT_TRUE(f.view->isSearching()) << r.what;
        ASSERT_TRUE(waitFor([&] { return !m->isLoading(); })) << r.what;
        EXPECT_EQ(shownNames(*m), r.expected) << r.what;
    }

    // A size that is no size starts nothing and says so at the field.
    f.view->find()->escape();
    ASSERT_FALSE(f.view->isSearching());
    f.view->find()->showSearchBar();
    bar->field()->setText("l");
    filters->minSizeField()->setText("12 zz");
    QTest::keyClick(bar->field(), Qt::Key_Return);
    EXPECT_FALSE(f.view->isSearching());
    EXPECT_EQ(filters->invalidField(), filters->minSizeField());
    SearchQuery q;
    QString problem;
    EXPECT_FALSE(bar->makeQuery(q, &problem));
    EXPECT_EQ(problem, "“12 zz” is not a size. Type one such as 500 KiB, 2.5 MB or 1G.");
    filters->minSizeField()->setText("2k");
    filters->maxSizeField()->setText("1k");
    EXPECT_FALSE(bar->makeQuery(q, &problem));
    EXPECT_EQ(problem, "The smallest size is larger than the largest.");

    // The bar shows a query's filters again (a search run again from the history).
    SearchQuery today;
    filters->clear();
    filters->modifiedBox()->setCurrentIndex(1);
    filters->minSizeField()->setText("2.5 MiB");
    ASSERT_TRUE(bar->makeQuery(today));
    filters->clear();
    bar->setQuery(today);
    EXPECT_EQ(filters->modifiedBox()->currentIndex(), 1);
    EXPECT_EQ(filters->minSizeField()->text(), "2.5 MiB");
    EXPECT_EQ(bar->filtersButton()->text(), "Filters (2)");
}

}  // namespace
}  // namespace kv::test
