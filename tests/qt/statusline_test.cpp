// The status line under a folder view: its counts and the selection's size, kept up by steps and
// checked against counting every row, and the free space asked off the UI thread.

#include <sys/stat.h>

#include <QItemSelectionModel>
#include <QLocale>
#include <QRegularExpression>
#include <mutex>
#include <random>

#include "filemanager_support.h"
#include "platform/qt/listing/statuscounts.h"
#include "platform/qt/listing/statusfit.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/listing/volumespace.h"

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

// A narrow line shortens the parts of low priority first, then drops them; the last is cut by words.
TEST(StatusFit, ShortensThenDropsThePartsOfLowPriorityFirst) {
    // counts (priority 30: 100 or 40 wide), selection (20: 80 or 50), free space (10: 60).
    const std::vector<StatusFit::Part> parts{{30, {100, 40}}, {20, {80, 50}}, {10, {60}}};
    const struct {
        int room;
        std::vector<int> forms;
    } cases[] = {
        {300, {0, 0, 0}},  // 100 + 80 + 60 and two spaces of 10
        {259, {0, 1, 0}},  {229, {1, 1, 0}},  {170, {1, 1, 0}},
        {169, {1, 1, -1}},  // nothing left to shorten: the free space goes first
        {100, {1, 1, -1}}, {99, {1, -1, -1}}, {10, {1, -1, -1}},  // the last part stays, to be cut
    };
    for (const auto& c : cases) EXPECT_EQ(StatusFit::choose(parts, c.room, 10), c.forms) << "room " << c.room;
    // A part without texts takes no room, and no space beside it.
    EXPECT_EQ(StatusFit::choose({{30, {100}}, {20, {}}, {10, {60}}}, 170, 10), (std::vector<int>{0, -1, 0}));
}

TEST(StatusFit, CutsByWholeWordsAndNeverLeavesANumberWithoutItsWord) {
    const auto width = [](const QString& s) { return static_cast<int>(s.size()) * 10; };
    const struct {
        const char* text;
        int room;
        const char* shown;
    } cases[] = {
        {"9 folders, 0 files", 180, "9 folders, 0 files"},
        {"9 folders, 0 files", 170, "9 folders…"},
        {"1 selected (57.0 KiB)", 200, "1 selected…"},
        {"Searching… 5 found", 170, "Searching…"},
        {"75.3 GiB free", 120, "75.3 GiB…"},
        {"75.3 GiB free", 80, ""},
        {"12 items", 70, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusFit::wholeWords(QString::fromUtf8(c.text), c.room, width), QString::fromUtf8(c.shown))
            << c.text << " in " << c.room;
}

// Whatever the width, a part shows one of its texts whole (or its first words), inside the line and
// beside the others; with room for all, all show in full.
TEST_F(StatusLineTest, EveryPartFitsTheLineWhole) {
    for (int k = 0; k < 9; ++k) mkdir("folder " + std::to_string(k));
    writeFile(f.dir / "big", std::string(58000, 'x'));
    ASSERT_TRUE(f.show(f.dir.path()));
    select("big");
    ASSERT_TRUE(waitFor([&] { return !status()->freeText().isEmpty(); }));
    const QList<QLabel*> parts{status()->countsPart(), status()->selectionPart(), status()->freePart()};
    const QStringList full{status()->countsText(), status()->selectionText(), status()->freeText()};
    const QRegularExpression items("^[0-9,]+ items?$");
    for (const int width : {900, 600, 260, 200, 120, 60}) {
        f.view->resize(width, 300);
        QCoreApplication::processEvents();
        const QRect line = status()->rect();
        QRect taken;
        int shown = 0;
        for (int i = 0; i < parts.size(); ++i) {
            QLabel* part = parts[i];
            if (part->isHidden()) continue;
            ++shown;
            const QString text = part->text();
            const std::string what = std::to_string(width) + ": " + text.toStdString();
            EXPECT_TRUE(line.contains(part->geometry())) << what;
            EXPECT_GE(part->width(), part->fontMetrics().horizontalAdvance(text)) << what;
            EXPECT_FALSE(taken.intersects(part->geometry())) << what;
            taken |= part->geometry();
            EXPECT_FALSE(text.back().isDigit()) << what;  // "1 selected (57" and the like
            const bool cut = text.endsWith("…") && full[i].startsWith(text.chopped(1));
            EXPECT_TRUE(text == full[i] || cut || items.match(text).hasMatch() || text == "1 selected")
                << what;
            if (width >= 600) {
                EXPECT_EQ(text, full[i]) << what;
            }
        }
        EXPECT_GE(shown, 1) << width;
        EXPECT_EQ(status()->toolTip().isEmpty(), width >= 600) << width;
    }
}

// The free space is one answer for every pane of a volume: asked again after a job and now and then
// while a pane is on screen, never for a pane that is not.
TEST(VolumeSpace, EveryPaneOfAVolumeShowsTheSameFreshAnswer) {
    ViewFixture f;
    TempDir other;
    std::mutex lock;
    QStringList asked;
    std::atomic<qint64> free{1000};
    VolumeSpace& space = f.services->space;
    space.setAsker([&](const QByteArray& folder) {
        const std::lock_guard hold(lock);
        asked << QString::fromUtf8(folder);
        return VolumeSpace::Answer{7, free.load()};
    });
    ::mkdir((f.dir / "sub").c_str(), 0755);
    auto second = f.makeView();
    auto hidden = f.makeView();
    hidden->hide();
    ASSERT_TRUE(f.show(f.dir.path()));
    ASSERT_TRUE(ViewFixture::show(*second, f.dir / "sub"));
    ASSERT_TRUE(ViewFixture::show(*hidden, other.path()));
    const auto shows = [&](FolderView& v, const char* text) { return v.statusLine()->freeText() == text; };
    ASSERT_TRUE(waitFor([&] { return shows(*f.view, "1000 B free") && shows(*second, "1000 B free"); }));

    // One pane asks again (a refresh): the other, on the same volume, is told too.
    free = 2048;
    f.view->refresh();
    ASSERT_TRUE(waitFor([&] { return shows(*f.view, "2.0 KiB free") && shows(*second, "2.0 KiB free"); }));
    // A job ends.
    free = 4096;
    writeFile(f.dir / "a", "a");
    f.ops->copy({QByteArray::fromStdString(f.dir / "a")}, QByteArray::fromStdString(other.path()),
                f.view.get());
    ASSERT_TRUE(waitFor([&] { return shows(*f.view, "4.0 KiB free") && shows(*hidden, "4.0 KiB free"); }));
    // Another program takes space: the panes on screen see it at the next look.
    free = 8192;
    {
        const std::lock_guard hold(lock);
        asked.clear();
    }
    space.setPollInterval(20);
    ASSERT_TRUE(waitFor([&] { return shows(*f.view, "8.0 KiB free") && shows(*second, "8.0 KiB free"); }));
    // Three more looks; none was for the pane off screen.
    ASSERT_TRUE(waitFor([&] {
        const std::lock_guard hold(lock);
        return asked.size() >= 4;
    }));
    const std::lock_guard hold(lock);
    EXPECT_FALSE(asked.contains(QString::fromStdString(other.path()))) << asked.join(' ').toStdString();
}

}  // namespace
}  // namespace kv::test
