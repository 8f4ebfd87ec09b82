// The status line under a folder view: its counts and the selection's size, kept up by steps and
// checked against counting every row, and the free space asked off the UI thread.

#include <sys/stat.h>

#include <QItemSelectionModel>
#include <QLocale>
#include <QRegularExpression>
#include <random>

#include "filemanager_support.h"
#include "platform/qt/listing/statuscounts.h"
#include "platform/qt/listing/statusline.h"

namespace kv::test {
namespace {

class StatusLineTest : public ::testing::Test {
  protected:
    ViewFixture f;

    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(m_saved); }

    StatusLine* status() { return f.view->statusLine(); }
    QItemSelectionModel* selection() { return f.view->currentView()->selectionModel(); }
    void select(const QByteArray& name,
                QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Select) {
        const int row = f.view->model()->rowOfName(name);
        ASSERT_GE(row, 0) << name.constData();
        selection()->select(f.view->model()->index(row, 0), how | QItemSelectionModel::Rows);
    }
    void mkdir(const std::string& name) { ::mkdir((f.dir / name).c_str(), 0755); }
    // What the totals must be, from every row.
    StatusCounts::Totals counted() {
        StatusCounts::Totals t;
        const FolderModel* m = f.view->model();
        for (int row = 0; row < m->rowCount(); ++row) {
            const DirEntry& e = m->entryAt(row);
            (e.isDir ? t.folders : t.files) += 1;
            if (!selection()->isRowSelected(row, {})) continue;
            ++t.selected;
            if (e.isDir) continue;
            ++t.selectedFiles;
            t.selectedBytes += e.size;
        }
        return t;
    }

  private:
    QLocale m_saved;
};

void expectTotals(const StatusCounts::Totals& got, const StatusCounts::Totals& want,
                  const std::string& when) {
    EXPECT_EQ(got.folders, want.folders) << when;
    EXPECT_EQ(got.files, want.files) << when;
    EXPECT_EQ(got.selected, want.selected) << when;
    EXPECT_EQ(got.selectedFiles, want.selectedFiles) << when;
    EXPECT_EQ(got.selectedBytes, want.selectedBytes) << when;
}

TEST_F(StatusLineTest, CountsFoldersAndFilesInTheirSingularAndPlural) {
    const struct {
        int folders, files, hidden;
        bool showHidden;
        const char* text;
    } cases[] = {
        {0, 0, 0, false, "0 folders, 0 files"}, {1, 1, 0, false, "1 folder, 1 file"},
        {2, 3, 2, false, "2 folders, 3 files"},  // hidden files count only while shown
        {1, 0, 2, true, "1 folder, 2 files"},   {0, 1234, 0, false, "0 folders, 1,234 files"},
    };
    for (const auto& c : cases) {
        ViewFixture g;
        for (int k = 0; k < c.folders; ++k) ::mkdir((g.dir / ("d" + std::to_string(k))).c_str(), 0755);
        for (int k = 0; k < c.files; ++k) writeFile(g.dir / ("f" + std::to_string(k)), "x");
        for (int k = 0; k < c.hidden; ++k) writeFile(g.dir / (".h" + std::to_string(k)), "x");
        g.view->setShowHidden(c.showHidden);
        ASSERT_TRUE(g.show(g.dir.path()));
        EXPECT_EQ(g.view->statusLine()->countsText(), c.text);
        EXPECT_EQ(g.view->statusLine()->selectionText(), "");
    }
}

TEST_F(StatusLineTest, SaysListingWithARunningCountUntilTheListingEnds) {
    for (int k = 0; k < 3000; ++k) writeFile(f.dir / ("f" + std::to_string(k)), "");
    f.view->showFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(f.view->model()->isLoading());
    EXPECT_TRUE(status()->countsText().startsWith("Listing… ")) << status()->countsText().toStdString();
    ASSERT_TRUE(waitFor([&] { return !f.view->model()->isLoading(); }));
    EXPECT_EQ(status()->countsText(), "0 folders, 3,000 files");
}

TEST_F(StatusLineTest, TheSelectionsCountAndTheSizeOfItsFiles) {
    writeFile(f.dir / "a", std::string(1000, 'a'));
    writeFile(f.dir / "b", std::string(2048, 'b'));
    writeFile(f.dir / ".c", std::string(5, 'c'));
    mkdir("dir");
    ASSERT_TRUE(f.show(f.dir.path()));
    select("a");
    EXPECT_EQ(status()->selectionText(), "1 selected (1000 B)");
    select("b");
    select("dir");
    EXPECT_EQ(status()->selectionText(), "3 selected (3.0 KiB)");  // 3048 bytes; a folder adds none
    select("dir", QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(status()->selectionText(), "1 selected");
    selection()->clearSelection();
    EXPECT_EQ(status()->selectionText(), "");
    f.view->selectAll();
    EXPECT_EQ(status()->selectionText(), "3 selected (3.0 KiB)");

    // A selected file grows on disk, another goes, the rows take a new order: counted again.
    writeFile(f.dir / "b", std::string(4096, 'b'));
    ::unlink((f.dir / "a").c_str());
    f.refreshAndWait();
    f.view->sortBy(FolderModel::SizeColumn, Qt::DescendingOrder);
    ASSERT_TRUE(waitFor([&] { return status()->selectionText() == "2 selected (4.0 KiB)"; }))
        << status()->selectionText().toStdString();
    EXPECT_EQ(status()->countsText(), "1 folder, 1 file");
    f.view->setShowHidden(true);
    ASSERT_TRUE(waitFor([&] { return status()->countsText() == "1 folder, 2 files"; }));
}

// Whatever happens to the rows and the selection, the totals kept by steps are those of counting.
TEST_F(StatusLineTest, TotalsKeptByStepsMatchCountingEveryRow) {
    for (int k = 0; k < 200; ++k) {
        if (k % 7 == 0)
            mkdir("d" + std::to_string(k));
        else
            writeFile(f.dir / ((k % 5 == 0 ? "." : "") + std::string("f") + std::to_string(k)),
                      std::string(static_cast<size_t>(k * 37), 'x'));
    }
    ASSERT_TRUE(f.show(f.dir.path()));
    std::mt19937 random(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    StatusCounts* counts = status()->counts();
    for (int step = 0; step < 60; ++step) {
        FolderModel* m = f.view->model();
        const int rows = m->rowCount();
        const int first = pick(rows), last = std::min(rows - 1, first + pick(30));
        const QItemSelection range(m->index(first, 0), m->index(last, FolderModel::ColumnCount - 1));
        std::string what;
        switch (pick(6)) {
            case 0:
                selection()->select(range, QItemSelectionModel::Select);
                what = "select";
                break;
            case 1:
                selection()->select(range, QItemSelectionModel::Toggle);
                what = "toggle";
                break;
            case 2:
                selection()->select(range, QItemSelectionModel::Deselect);
                what = "deselect";
                break;
            case 3:
                f.view->sortBy(pick(FolderModel::ColumnCount),
                               pick(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
                what = "sort";
                break;
            case 4:
                f.view->setShowHidden(!m->showHidden());
                what = "hidden";
                break;
            case 5: {
                const std::string name = "n" + std::to_string(step);
                writeFile(f.dir / name, std::string(static_cast<size_t>(step), 'n'));
                ::unlink((f.dir / m->entryAt(first).name).c_str());
                f.refreshAndWait();
                what = "refresh";
                break;
            }
        }
        // The totals are right whenever they are asked, and once the event loop ran.
        expectTotals(counts->totals(), counted(), "step " + std::to_string(step) + ": " + what);
        QCoreApplication::processEvents();
        expectTotals(counts->totals(), counted(), "after step " + std::to_string(step));
    }
}

TEST_F(StatusLineTest, TheFreeSpaceOfTheFoldersVolume) {
    ASSERT_TRUE(f.show(f.dir.path()));
    const QRegularExpression free("^[0-9.]+ (B|KiB|MiB|GiB|TiB|PiB|EiB) free$");
    ASSERT_TRUE(waitFor([&] { return free.match(status()->freeText()).hasMatch(); }))
        << status()->freeText().toStdString();
    // A folder that cannot be asked shows none, rather than the last folder's.
    f.view->showFolder(QByteArray::fromStdString(f.dir / "gone"));
    EXPECT_EQ(status()->freeText(), "");
    ASSERT_TRUE(waitFor([&] { return !status()->askingFreeSpace(); }));
    EXPECT_EQ(status()->freeText(), "");
}

}  // namespace
}  // namespace kv::test
