#include <fcntl.h>
#include <unistd.h>

#include "filemanager_support.h"
#include "platform/qt/listing/folderwatch.h"

namespace kv::test {
namespace {

// Two views on one folder, as two tabs or two panes are: the second takes the first one's rows.
struct SharedViews : ViewFixture {
    std::unique_ptr<FolderView> second = makeView();

    // The first view shows the folder listed whole and followed.
    bool firstShows() {
        return show(dir.path()) &&
               waitFor([&] { return services->watch.isWatching(QByteArray::fromStdString(dir.path())); });
    }
    // Whether both views show the same entry (not an equal one) for name.
    bool sameEntry(const std::string& name) const {
        FolderModel* a = view->model();
        FolderModel* b = second->model();
        const int ra = a->rowOfName(QByteArray::fromStdString(name));
        const int rb = b->rowOfName(QByteArray::fromStdString(name));
        return ra >= 0 && rb >= 0 && &a->entryAt(ra) == &b->entryAt(rb);
    }
    std::uint64_t sizeIn(FolderView& v, const std::string& name) const {
        const int row = v.model()->rowOfName(QByteArray::fromStdString(name));
        return row < 0 ? 0 : v.model()->entryAt(row).size;
    }
};

TEST(SharedListing, TheRowsTakenAreAFreshListingsInTheTakersOrderAndSettings) {
    SharedViews f;
    writeFile(f.dir / "b.txt", "bbb");
    writeFile(f.dir / "a.dat", "aaaaaaaaaa");
    writeFile(f.dir / "c.png", "c");
    writeFile(f.dir / ".hidden", "hh");
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ASSERT_EQ(::symlink("a.dat", (f.dir / "link").c_str()), 0);
    ASSERT_TRUE(f.firstShows());

    // Its own order (sorted on a worker) and its own hidden-files setting.
    f.second->sortBy(FolderModel::SizeColumn, Qt::DescendingOrder);
    f.second->setShowHidden(true);
    ASSERT_TRUE(ViewFixture::show(*f.second, f.dir.path()));
    EXPECT_TRUE(f.sameEntry("b.txt")) << "taken, not listed again";

    FolderModel fresh;
    fresh.sort(FolderModel::SizeColumn, Qt::DescendingOrder);
    fresh.setShowHidden(true);
    fresh.setFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(waitFor([&] { return !fresh.isLoading(); }));
    FolderModel* taken = f.second->model();
    ASSERT_EQ(taken->rowCount(), fresh.rowCount());
    EXPECT_EQ(taken->rowCount(), 6);
    EXPECT_EQ(f.view->model()->rowCount(), 5) << "the first view still hides .hidden";
    for (int row = 0; row < fresh.rowCount(); ++row) {
        EXPECT_EQ(taken->entryAt(row).name, fresh.entryAt(row).name) << row;
        EXPECT_EQ(taken->entryAt(row).size, fresh.entryAt(row).size) << row;
        EXPECT_EQ(taken->data(taken->index(row, FolderModel::TypeColumn), Qt::DisplayRole),
                  fresh.data(fresh.index(row, FolderModel::TypeColumn), Qt::DisplayRole))
            << row;
    }
}

// A change reported to the first view just before the second is set to the folder: the first is still
// looking at the names, the second was not told. It looks at them itself.
TEST(SharedListing, AChangeTheFirstWasToldOfAndHasNotAppliedReachesTheSecond) {
    SharedViews f;
    writeFile(f.dir / "a", "a");
    ASSERT_TRUE(f.firstShows());
    bool handed = false;
    int rowsAtOnce = -1;
    QObject::connect(&f.services->watch, &FolderWatch::folderChanged, [&] {
        if (handed) return;
        handed = true;
        f.second->showFolder(QByteArray::fromStdString(f.dir.path()));
        rowsAtOnce = f.second->model()->rowCount();
    });
    writeFile(f.dir / "new", "n");
    writeFile(f.dir / "a", "longer");
    ASSERT_TRUE(waitFor([&] { return handed; }));
    EXPECT_GT(rowsAtOnce, 0) << "the rows were taken, not listed";
    ASSERT_TRUE(f.listed(*f.second, "new"));
    EXPECT_TRUE(waitFor([&] { return f.sizeIn(*f.second, "a") == 6 && f.sizeIn(*f.view, "a") == 6; }));
    EXPECT_TRUE(f.listed(*f.view, "new"));

    // Each follows the folder on its own from then on.
    writeFile(f.dir / "later", "l");
    EXPECT_TRUE(f.listed(*f.view, "later"));
    EXPECT_TRUE(f.listed(*f.second, "later"));
}

TEST(SharedListing, RefreshReadsTheDisk) {
    SharedViews f;
    writeFile(f.dir / "a", "a");
    ASSERT_TRUE(f.firstShows());
    ASSERT_TRUE(ViewFixture::show(*f.second, f.dir.path()));
    ASSERT_TRUE(f.sameEntry("a"));
    // Written and still open: the watch reports a file once it is closed.
    const int fd = ::open((f.dir / "a").c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::write(fd, "bcd", 3), 3);
    bool refreshed = false;
    QObject::connect(f.second->model(), &FolderModel::refreshed, [&] { refreshed = true; });
    f.second->refresh();
    ASSERT_TRUE(waitFor([&] { return refreshed; }));
    EXPECT_EQ(f.sizeIn(*f.second, "a"), 4u);
    EXPECT_EQ(f.sizeIn(*f.view, "a"), 1u) << "not told yet";
    ::close(fd);
    EXPECT_TRUE(waitFor([&] { return f.sizeIn(*f.view, "a") == 4; }));
}

TEST(SharedListing, AViewStillListingGivesNothing) {
    SharedViews f;
    for (int k = 0; k < 50; ++k) writeFile(f.dir / ("f" + std::to_string(k)), "x");
    f.view->showFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(f.view->model()->isLoading());
    ASSERT_TRUE(ViewFixture::show(*f.second, f.dir.path()));
    ASSERT_TRUE(waitFor([&] { return !f.view->model()->isLoading(); }));
    EXPECT_EQ(f.second->model()->rowCount(), 50);
    EXPECT_FALSE(f.sameEntry("f7")) << "listed from the disk";
}

}  // namespace
}  // namespace kv::test
