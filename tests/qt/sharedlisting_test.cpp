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
    // Appends to a file and leaves it open: the watch reports a file once it is closed, so no view is
    // told, and only a view that reads the disk sees the new size.
    int writeUntold(const std::string& name, const std::string& data) {
        const int fd = ::open((dir / name).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        EXPECT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        return fd;
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
    FolderModel fresh;
    fresh.sort(FolderModel::SizeColumn, Qt::DescendingOrder);
    fresh.setShowHidden(true);
    fresh.setFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(waitFor([&] { return !fresh.isLoading(); }));
    const int fd = f.writeUntold("b.txt", "more than before");

    // Its own order (sorted on a worker) and its own hidden-files setting.
    f.second->sortBy(FolderModel::SizeColumn, Qt::DescendingOrder);
    f.second->setShowHidden(true);
    ASSERT_TRUE(ViewFixture::show(*f.second, f.dir.path()));
    FolderModel* taken = f.second->model();
    EXPECT_EQ(f.sizeIn(*f.second, "b.txt"), 3u) << "taken, not listed again";
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
    ::close(fd);
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
    const int fd = f.writeUntold("a", "bcd");
    ASSERT_TRUE(ViewFixture::show(*f.second, f.dir.path()));
    ASSERT_EQ(f.sizeIn(*f.second, "a"), 1u) << "taken";
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
    EXPECT_EQ(f.second->model()->rowCount(), 50) << "listed from the disk, not taken part way";
}

}  // namespace
}  // namespace kv::test
