// A view may go at any moment: while its folder is listed, while a folder's size is counted, while
// the nearest folder to a vanished one is looked for, while its jobs run. Whatever those were to
// report back is dropped; nothing calls into the view that is gone (run these under ASan too).

#include <QTest>
#include <QTimer>

#include "filemanager_support.h"
#include "platform/fs/core/background.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/jobs/progresswindow.h"
#include "platform/qt/properties/propertiesdialog.h"

namespace kv::test {
namespace {

QByteArray raw(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// Waits for the threads to finish and their posts to arrive: anything aimed at a dead view lands now.
void drain() {
    EXPECT_TRUE(waitFor([] { return background::inFlight() == 0; }));
}

TEST(FolderViewLifetime, GoesWhileItsFolderIsListed) {
    ViewFixture f;
    for (int k = 0; k < 5000; ++k) writeFile(f.dir / ("f" + std::to_string(k)), "");
    f.view->showFolder(raw(f.dir.path()));
    ASSERT_TRUE(f.view->model()->isLoading());
    f.view.reset();
    drain();
    auto again = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*again, f.dir.path()));
    EXPECT_EQ(again->model()->rowCount(), 5000);
}

TEST(FolderViewLifetime, GoesWhileItsPropertiesCountAFolder) {
    ViewFixture f;
    ::mkdir((f.dir / "tree").c_str(), 0755);
    for (int d = 0; d < 20; ++d) {
        const std::string sub = f.dir / ("tree/" + std::to_string(d));
        ::mkdir(sub.c_str(), 0755);
        for (int k = 0; k < 20; ++k) writeFile(sub + "/" + std::to_string(k), "x");
    }
    ASSERT_TRUE(f.show(f.dir.path()));
    ASSERT_TRUE(f.view->selectName("tree"));
    // As showProperties makes it once the items are read (off this thread).
    auto* dialog = new PropertiesDialog(PropertiesDialog::gather(f.view->selectedPaths()), f.view->window());
    dialog->show();
    // The total is posted back to this thread, which has not looked at its queue yet.
    ASSERT_TRUE(dialog->isCounting());
    f.view.reset();  // the view is its own window here, and the dialog its child
    EXPECT_EQ(findTopLevel<PropertiesDialog>(), nullptr);
    drain();
}

TEST(FolderViewLifetime, GoesWhileLookingForTheFolderThatHeldAVanishedOne) {
    ViewFixture f;
    ::mkdir((f.dir / "doomed").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir / "doomed"));
    bool requested = false;
    QObject::connect(f.view.get(), &FolderView::folderRequested, [&] { requested = true; });
    // Connected after the view's own handler, so the view has started its lookup when this runs.
    QObject::connect(&f.services->watch, &FolderWatch::folderChanged, [&](const DirChange& change) {
        if (change.vanished) f.view.reset();
    });
    ::rmdir((f.dir / "doomed").c_str());
    ASSERT_TRUE(waitFor([&] { return !f.view; }));
    drain();
    EXPECT_FALSE(requested);
}

TEST(FolderViewLifetime, GoesWhileItsJobsRun) {
    ViewFixture f;
    writeFile(f.dir / "a.txt", "A");
    writeFile(f.dir / "b.txt", "B");
    ASSERT_TRUE(f.show(f.dir.path()));
    FolderModel* model = f.view->model();
    // As the name editor does: the model asks for the rename, and reports the row unchanged.
    model->setData(model->index(model->rowOfName("a.txt"), FolderModel::NameColumn), "c.txt", Qt::EditRole);
    FolderCommands::newFolder(*f.view);
    ASSERT_TRUE(f.view->selectName("b.txt"));
    FolderCommands::trashSelection(*f.view);
    // The jobs' ends are posted to this thread, which has not looked at its queue yet.
    f.view.reset();
    ASSERT_TRUE(f.idle());
    drain();
    EXPECT_EQ(readFile(f.dir / "c.txt"), "A");
    EXPECT_TRUE(exists(f.dir / "New Folder"));
    EXPECT_FALSE(exists(f.dir / "b.txt"));
}

// Counts the progress windows shown anywhere, however briefly.
struct ProgressWindowsShown : QObject {
    int count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<ProgressWindow*>(watched)) ++count;
        return false;
    }
};

TEST(FileManagerProgress, AJobShorterThanTheDelayShowsNoWindow) {
    ViewFixture f;  // the program's delay: half a second
    writeFile(f.dir / "a.txt", "A");
    ::mkdir((f.dir / "dest").c_str(), 0755);
    ProgressWindowsShown shown;
    qApp->installEventFilter(&shown);
    f.ops->copy({raw(f.dir / "a.txt")}, raw(f.dir / "dest"), f.view.get());
    ASSERT_TRUE(f.idle());
    // Started after the job's own timer and twice as long, this one fires after it.
    bool past = false;
    QTimer::singleShot(1000, Qt::PreciseTimer, [&] { past = true; });
    ASSERT_TRUE(waitFor([&] { return past; }));
    qApp->removeEventFilter(&shown);
    EXPECT_EQ(shown.count, 0);
    EXPECT_EQ(readFile(f.dir / "dest/a.txt"), "A");
}

}  // namespace
}  // namespace kv::test
