// Panes of any width: every name whole where there is room (the list view, the details view's columns,
// the crumbs), and a pane placed partly outside its window keeps its bars in the part that shows.

#include <sys/stat.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>

#include "filemanager_support.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/detailscolumns.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/location/breadcrumbbar.h"
#include "platform/qt/location/locationbar.h"

namespace kv::test {
namespace {

// A home folder's names, short and long, folders and files of many sizes.
void fillHome(const TempDir& dir) {
    for (const char* name : {"Projects", "Pictures", "Downloads", "Documents", "Music"})
        ::mkdir((dir / name).c_str(), 0755);
    const std::pair<const char*, size_t> files[] = {
        {"a", 90000},
        {"notes about the garden and what to plant next spring.txt", 10},
        {"photo.jpg", 5000},
        {"report-2026.pdf", 40000},
        {"x", 0}};
    for (const auto& [name, size] : files) writeFile(dir / name, std::string(size, 'x'));
}

// Whether every row of the view shows its name whole (or as much as the view's width allows).
::testing::AssertionResult namesWhole(FolderView& view, const std::string& when) {
    QAbstractItemView* v = view.currentView();
    const int room = v->viewport()->width();
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        const QModelIndex i = view.model()->index(row, 0);
        const QString name = view.model()->nameAt(row);
        const int need = v->fontMetrics().horizontalAdvance(name) + 16;  // and the icon
        const int got = v->visualRect(i).width();
        if (got < std::min(need, room - 8))
            return ::testing::AssertionFailure()
                   << when << ": \"" << name.toStdString() << "\" has " << got << " of " << need << " px";
    }
    return ::testing::AssertionSuccess();
}

TEST(PaneFit, TheListViewShowsEveryNameWholeInEveryOrder) {
    ViewFixture f;
    fillHome(f.dir);
    f.view->resize(800, 400);
    ASSERT_TRUE(f.show(f.dir.path()));
    f.view->setMode(FolderView::Mode::List);
    const struct {
        int column;
        Qt::SortOrder order;
    } orders[] = {{FolderModel::SizeColumn, Qt::DescendingOrder},
                  {FolderModel::NameColumn, Qt::AscendingOrder},
                  {FolderModel::ModifiedColumn, Qt::DescendingOrder}};
    for (const auto& o : orders) {
        f.view->sortBy(o.column, o.order);
        QCoreApplication::processEvents();
        const std::string when = "sorted by " + std::to_string(o.column);
        EXPECT_TRUE(waitFor([&] { return static_cast<bool>(namesWhole(*f.view, when)); }))
            << namesWhole(*f.view, when).message();
    }
    // Through a mode switch, a longer name arriving, and a rename to a longer one.
    f.view->setMode(FolderView::Mode::Details);
    f.view->setMode(FolderView::Mode::List);
    writeFile(f.dir / "an even longer name of a file that came later on.txt", "y");
    f.refreshAndWait();
    EXPECT_TRUE(waitFor([&] { return static_cast<bool>(namesWhole(*f.view, "refreshed")); }))
        << namesWhole(*f.view, "refreshed").message();
    ::rename((f.dir / "x").c_str(),
             (f.dir / "x renamed to the longest name in this whole folder by far").c_str());
    f.refreshAndWait();
    EXPECT_TRUE(waitFor([&] { return static_cast<bool>(namesWhole(*f.view, "renamed")); }))
        << namesWhole(*f.view, "renamed").message();
}

// The details view: the columns beside the names show what fits, sized from their texts, and come
// back when there is room; the view never starts with a sideways scroll bar.
TEST(PaneFit, TheDetailsViewFitsItsColumnsToTheWidth) {
    ViewFixture f;
    fillHome(f.dir);
    ASSERT_TRUE(f.show(f.dir.path()));
    auto* tree = qobject_cast<QTreeView*>(f.view->currentView());
    ASSERT_NE(tree, nullptr);
    QHeaderView* header = tree->header();
    DetailsColumns* columns = f.view->detailsColumns();
    // Type gives way first, then Modified, then Size.
    const int byNeed[] = {FolderModel::SizeColumn, FolderModel::ModifiedColumn, FolderModel::TypeColumn};
    for (const int width : {1200, 600, 450, 330, 250, 120, 1200}) {
        f.view->resize(width, 300);
        QCoreApplication::processEvents();
        const std::string when = "width " + std::to_string(width);
        const int viewport = tree->viewport()->width();
        int room = viewport - columns->nameWanted();
        bool dropped = false;
        for (const int column : byNeed) {
            const bool fits = !dropped && columns->widthOf(column) <= room;
            EXPECT_EQ(!header->isSectionHidden(column), fits) << when << ", column " << column;
            if (fits) room -= columns->widthOf(column);
            dropped = dropped || !fits;
        }
        if (width >= 1200) {
            EXPECT_FALSE(dropped) << when;
        }
        EXPECT_EQ(tree->horizontalScrollBar()->maximum(), 0) << when;
        // Every text of a shown column fits it, the names where the view has room.
        for (const int column : {int(FolderModel::SizeColumn), int(FolderModel::ModifiedColumn)}) {
            if (header->isSectionHidden(column)) continue;
            for (int row = 0; row < f.view->model()->rowCount(); ++row) {
                const QString text = f.view->model()->index(row, column).data().toString();
                EXPECT_LE(tree->fontMetrics().horizontalAdvance(text) + 4, header->sectionSize(column))
                    << when << ": " << text.toStdString();
            }
        }
        const int nameRoom = header->sectionSize(FolderModel::NameColumn);
        EXPECT_GE(nameRoom, std::min(f.view->detailsColumns()->nameWanted(), tree->viewport()->width()))
            << when;
    }
}

class PaneInWindow : public ::testing::Test {
  protected:
    TempDir dir;
    OwnedPaneServices services;
    QWidget window;
    BrowserView* view = new BrowserView(services, &window);

    void SetUp() override {
        services.ops.setReportsShown(false);
        window.resize(500, 300);
        window.show();
    }
    bool open(const std::string& path) {
        view->openFolder(QByteArray::fromStdString(path));
        return waitFor([&] { return !view->folderView()->model()->isLoading(); });
    }
};

// A window that places a pane partly outside itself: the pane's bars fit the part it shows.
TEST_F(PaneInWindow, ThePanesBarsStayInThePartTheWindowShows) {
    ASSERT_TRUE(open(dir.path()));
    view->setGeometry(-8, 0, 520, 300);  // 8 pixels hidden on the left, 12 on the right
    ASSERT_TRUE(waitFor([&] { return !view->folderView()->statusLine()->freeText().isEmpty(); }));
    QLabel* free = view->folderView()->statusLine()->freePart();
    auto inside = [&](const QRect& visible) {
        QCoreApplication::processEvents();
        for (QToolButton* b : view->locationBar()->findChildren<QToolButton*>()) {
            if (!b->isVisibleTo(&window)) continue;
            const QRect at(b->mapTo(&window, QPoint(0, 0)), b->size());
            EXPECT_TRUE(visible.contains(at))
                << b->objectName().toStdString() << " at " << at.x() << "+" << at.width();
        }
        ASSERT_FALSE(free->isHidden());
        EXPECT_TRUE(visible.contains(QRect(free->mapTo(&window, QPoint(0, 0)), free->size())));
    };
    ASSERT_TRUE(waitFor([&] { return view->locationBar()->width() == 500; }));
    inside(window.rect());
    // A pane beside it, made later, overlaps its right edge: that strip is hidden too.
    auto* beside = new QWidget(&window);
    beside->setGeometry(400, 0, 100, 300);
    beside->show();
    ASSERT_TRUE(waitFor([&] { return view->locationBar()->width() == 400; }));
    inside(QRect(0, 0, 400, 300));
    delete beside;
    // The window made wide enough for all of the pane: the pane has all of its width again.
    window.resize(600, 300);
    view->move(0, 0);
    EXPECT_TRUE(waitFor([&] { return view->locationBar()->width() == view->width(); }));
}

// Where the bar has room for the folder shown, its crumb shows the name whole; the root and the
// folders between give way first.
TEST_F(PaneInWindow, TheCrumbOfTheFolderShownKeepsItsWholeName) {
    const std::string folder = dir / "Documents";
    ::mkdir(folder.c_str(), 0755);
    ASSERT_TRUE(open(folder));
    BreadcrumbBar* crumbs = view->locationBar()->breadcrumbs();
    // The text field behind the crumbs is made when first wanted, not with every pane.
    EXPECT_EQ(view->locationBar()->findChild<QLineEdit*>(), nullptr);
    const QByteArray here = QByteArray::fromStdString(folder);
    for (int width = 420; width >= 150; width -= 10) {
        view->setGeometry(0, 0, width, 300);
        QCoreApplication::processEvents();
        QToolButton* crumb = crumbs->buttonOf(here);
        ASSERT_NE(crumb, nullptr);
        const int need = crumb->fontMetrics().horizontalAdvance("Documents");
        const int alone = need + crumbs->moreButton()->sizeHint().width() + 20;
        if (crumbs->width() < alone) continue;
        EXPECT_EQ(crumb->text(), "Documents") << "width " << width << ", crumbs " << crumbs->width();
        EXPECT_LE(crumb->geometry().right(), crumbs->width()) << width;
    }
}

}  // namespace
}  // namespace kv::test
